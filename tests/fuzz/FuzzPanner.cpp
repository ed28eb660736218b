// Arbitrary messages from the DAW into the panner.

#include "hostprotocols/HostProtocolPanner.h"
#include "tests/fuzz/FuzzMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    corvello::fuzzFromHostMidi<corvello::HostProtocolPanner>(data, size);
    return 0;
}
