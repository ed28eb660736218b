// The remote's records, as the link decodes them, into Mackie Control: on the
// one port the program gives it ("Tamberlin"), only valid MIDI.

#include "hostprotocols/HostProtocolMC.h"
#include "tests/fuzz/FuzzToHost.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    corvello::fuzz::fuzzMidiToHost<corvello::HostProtocolMC>(data, size, 1);
    return 0;
}
