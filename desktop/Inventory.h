#pragma once
// The remote's application switcher: which programs have windows on screen,
// and which of a program's windows are worth offering.

#include <cstdint>
#include <string>
#include <vector>

#include "desktop/DesktopServices.h"

namespace corvello {

struct ProcessEntry {
    std::string name;  // at most 255 characters
    std::int32_t pid = 0;
    friend bool operator==(const ProcessEntry&, const ProcessEntry&) = default;
};

struct WindowEntry {
    WindowHandle handle = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const WindowEntry&, const WindowEntry&) = default;
};

// Stands for the whole desktop in the process list.
inline constexpr std::int32_t kDesktopPid = -2;
inline constexpr std::size_t kMaxProcessNameLength = 255;
inline constexpr std::int32_t kMinListedWindowSide = 30;
inline constexpr std::size_t kMaxListedWindows = 20;

// "Setup.exe.config" -> "Setup", "APP.EXE" -> "APP".
std::string displayName(std::string executableName);

// The "Desktop" entry and one entry per program (first seen wins for a pid),
// sorted by name ignoring ASCII case, then by pid.
std::vector<ProcessEntry> buildProcessList(const std::vector<ShownProcess>& shown);

// "name:pid" lines joined by "\n".
std::string formatProcessList(const std::vector<ProcessEntry>& entries);

// Whether a top-level window of `owner` may be offered; `ownerIsShell` hides
// the shell's pop-ups, which are menus and tips rather than windows.
bool offeredWindow(const TopLevelWindow& window, std::int32_t owner, bool ownerIsShell);
bool largeEnoughToOffer(const WindowRect& rect);

std::string formatTriple(std::int32_t a, std::int32_t b, std::int32_t c);

}  // namespace corvello
