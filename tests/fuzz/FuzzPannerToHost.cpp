// The remote's records, as the link decodes them, into the panner: on its two
// ports ("Swivo 1" and "Swivo 2"), only valid MIDI.

#include "hostprotocols/HostProtocolPanner.h"
#include "tests/fuzz/FuzzToHost.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    corvello::fuzz::fuzzMidiToHost<corvello::HostProtocolPanner>(data, size, 2);
    return 0;
}
