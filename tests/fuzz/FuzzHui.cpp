// Arbitrary messages from the DAW into HUI.

#include "hostprotocols/HostProtocolHUI.h"
#include "tests/fuzz/FuzzMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    corvello::fuzzFromHostMidi<corvello::HostProtocolHUI>(data, size);
    return 0;
}
