#include "driver/TraceSettings.h"

#include <windows.h>

namespace corvello {

namespace {

// The process's own environment block: the DAW's C runtime may not be ours.
std::optional<std::string> environmentValue(const char* name)
{
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value)
        return std::nullopt;
    return std::string(value, length);
}

}  // namespace

std::optional<std::string> traceEnvironmentValue()
{
    return environmentValue(kTraceEnvironmentVariable);
}

bool traceUserSetting()
{
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegGetValueA(HKEY_CURRENT_USER, "Software\\Corvello", "DriverTrace", RRF_RT_REG_DWORD,
                        nullptr, &value, &size) == ERROR_SUCCESS &&
           value != 0;
}

std::string traceLogDirectory()
{
    const auto localAppData = environmentValue("LOCALAPPDATA");
    return localAppData ? *localAppData + "\\Corvello" : std::string();
}

void traceToDebugger(const char* line) { OutputDebugStringA(line); }

unsigned long traceProcessId() { return GetCurrentProcessId(); }

}  // namespace corvello
