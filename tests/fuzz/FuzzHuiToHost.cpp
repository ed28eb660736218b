// The remote's records, as the link decodes them, into HUI: on the one port
// the program gives it ("Tamberlin"), only valid MIDI.

#include "hostprotocols/HostProtocolHUI.h"
#include "tests/fuzz/FuzzToHost.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    corvello::fuzz::fuzzMidiToHost<corvello::HostProtocolHUI>(data, size, 1);
    return 0;
}
