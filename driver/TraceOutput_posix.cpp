#include "driver/TraceSettings.h"

#include <cstdlib>
#include <unistd.h>

namespace corvello {

std::optional<std::string> traceEnvironmentValue()
{
    if (const char* value = std::getenv(kTraceEnvironmentVariable))
        return std::string(value);
    return std::nullopt;
}

// No per-user registry here: the variable is the setting.
bool traceUserSetting() { return false; }

std::string traceLogDirectory()
{
    return posixTraceLogDirectory(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
}

// No debugger channel apart from stderr, which is the DAW's.
void traceToDebugger(const char*) {}

unsigned long traceProcessId() { return static_cast<unsigned long>(getpid()); }

}  // namespace corvello
