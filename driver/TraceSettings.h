#pragma once
// When the driver's trace log is written, and where: decided once per load
// of the driver from the environment variable CORVMIDI_TRACE and (Windows)
// the per-user value HKCU\Software\Corvello\DriverTrace (a DWORD), so a
// failed open inside a DAW can be diagnosed without rebuilding anything.

#include <optional>
#include <string>

namespace corvello {

inline constexpr char kTraceEnvironmentVariable[] = "CORVMIDI_TRACE";
inline constexpr char kTraceLogFileName[] = "corvmidi.log";
inline constexpr unsigned long kTraceLogBound = 1024 * 1024;  // then one rotation to .1

// The variable, when set and not empty, decides ("0" off, anything else on);
// otherwise the user's setting does.
bool traceEnabledBy(const std::optional<std::string>& environmentValue, bool userSetting);

// POSIX: $XDG_STATE_HOME/corvello, or ~/.local/state/corvello when that is
// unset or not absolute (as the XDG rules say); empty without either.
std::string posixTraceLogDirectory(const char* xdgStateHome, const char* home);

// The platform's side (TraceOutput_{win,posix}.cpp).
std::optional<std::string> traceEnvironmentValue();
bool traceUserSetting();
std::string traceLogDirectory();  // empty when there is none
void traceToDebugger(const char* line);
unsigned long traceProcessId();

}  // namespace corvello
