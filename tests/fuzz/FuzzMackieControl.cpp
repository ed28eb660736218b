// Arbitrary messages from the DAW into Mackie Control.

#include "hostprotocols/HostProtocolMC.h"
#include "tests/fuzz/FuzzMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    corvello::fuzzFromHostMidi<corvello::HostProtocolMC>(data, size);
    return 0;
}
