#pragma once
// Where the tray program's diagnostics go: a GUI program on Windows has no
// stderr a user could read, so every log line, and whatever code or
// libraries print on stdout and stderr, goes to a per-user log file.

#include <cstdint>
#include <filesystem>

namespace corvello {

inline constexpr std::uintmax_t kProgramLogLimit = 1024 * 1024;  // per file; one older file is kept

// Installs the log file's sink and captures stdout and stderr into it.
// Returns the folder that holds the log (%LOCALAPPDATA%\Corvello).
std::filesystem::path startProgramLog();

}  // namespace corvello
