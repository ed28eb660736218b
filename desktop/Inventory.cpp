#include "desktop/Inventory.h"

#include <algorithm>
#include <cstdio>

namespace corvello {

namespace {

void cutAtFirst(std::string& name, const char* marker)
{
    const auto at = name.find(marker);
    if (at != std::string::npos)
        name.resize(at);
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool nameLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lowerAscii(x) < lowerAscii(y); });
}

bool entryLess(const ProcessEntry& a, const ProcessEntry& b)
{
    if (nameLess(a.name, b.name))
        return true;
    if (nameLess(b.name, a.name))
        return false;
    return a.pid < b.pid;
}

}  // namespace

std::string displayName(std::string executableName)
{
    cutAtFirst(executableName, ".exe");
    cutAtFirst(executableName, ".EXE");
    if (executableName.size() > kMaxProcessNameLength)
        executableName.resize(kMaxProcessNameLength);
    return executableName;
}

std::vector<ProcessEntry> buildProcessList(const std::vector<ShownProcess>& shown)
{
    std::vector<ProcessEntry> entries{{"Desktop", kDesktopPid}};
    for (const auto& process : shown) {
        const bool known = std::any_of(entries.begin(), entries.end(),
                                       [&](const ProcessEntry& e) { return e.pid == process.pid; });
        if (!known)
            entries.push_back({displayName(process.name), process.pid});
    }
    std::sort(entries.begin(), entries.end(), entryLess);
    return entries;
}

std::string formatProcessList(const std::vector<ProcessEntry>& entries)
{
    std::string text;
    for (const auto& entry : entries) {
        if (!text.empty())
            text += '\n';
        text += entry.name + ':' + std::to_string(entry.pid);
    }
    return text;
}

bool offeredWindow(const TopLevelWindow& window, std::int32_t owner, bool ownerIsShell)
{
    if (!window.visible || window.inputTransparentOverlay || window.minimized)
        return false;
    if (ownerIsShell && window.popup)
        return false;
    return window.pid == owner;
}

bool largeEnoughToOffer(const WindowRect& rect)
{
    return rect.width() >= kMinListedWindowSide && rect.height() >= kMinListedWindowSide;
}

std::string formatTriple(std::int32_t a, std::int32_t b, std::int32_t c)
{
    char text[48];
    std::snprintf(text, sizeof text, "%d,%d,%d", a, b, c);
    return text;
}

}  // namespace corvello
