#include "virtmidi/virtmidiprotocol.h"

#include <windows.h>

namespace corvello {

std::string virtMidiPipeName(std::string_view portName)
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return virtMidiPipeName(static_cast<std::uint32_t>(session), portName);
}

}  // namespace corvello
