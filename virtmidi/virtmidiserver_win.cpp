// Placeholder until the Win32 transport lands: reports and starts nothing.
#include "virtmidi/virtmidiserver.h"

#include "platform/DebugOutput.h"

namespace corvello {

bool virtMidiServerStart(const char* const*, VirtMidiReceiver, void*)
{
    debugOutput("Virtual MIDI: the Windows server is not built yet\n");
    return false;
}

void virtMidiServerSend(std::int32_t, const std::uint8_t*, std::int32_t) {}

void virtMidiServerStop() {}

}  // namespace corvello
