// The application switcher: program and window lists, choosing a window and
// bringing it to the front.

#include <algorithm>

#include "desktop/DesktopController.h"

namespace corvello {

namespace {

using std::chrono::milliseconds;

// The shell's process name; its pop-ups are menus and tips, not windows.
constexpr const char* kShellProcessName = "explorer";

// The remote shows thumbnails in the order they arrive, so each window gets
// time to repaint after being raised before its picture is taken.
constexpr milliseconds kRepaintWait{150};
constexpr milliseconds kRestoreWait{200};
constexpr milliseconds kSettleWait{100};

}  // namespace

void DesktopController::listProcesses()
{
    processes = buildProcessList(services.shownProcesses());
    reply(kProcessListReply, formatProcessList(processes));
}

void DesktopController::selectProcess(float pid)
{
    selectedProcess = truncateToInt(pid);
    if (selectedProcess != kDesktopPid || !processEntry(kDesktopPid) || !queue)
        return;
    const WindowHandle desktop = services.desktopWindow();
    const WindowRect rect = services.windowRect(desktop).value_or(WindowRect{});
    reply(kDesktopReply, formatTriple(ids.idOf(desktop), rect.width(), rect.height()));
}

const ProcessEntry* DesktopController::processEntry(std::int32_t pid) const
{
    const auto found =
        std::find_if(processes.begin(), processes.end(), [&](const ProcessEntry& e) { return e.pid == pid; });
    return found == processes.end() ? nullptr : &*found;
}

std::vector<WindowEntry> DesktopController::enumerateWindows()
{
    const ProcessEntry* owner = selectedProcess == 0 ? nullptr : processEntry(selectedProcess);
    if (!owner)
        return {};
    const bool ownerIsShell = owner->name == kShellProcessName;
    std::vector<WindowEntry> found;
    for (const TopLevelWindow& window : services.topLevelWindows()) {
        if (!offeredWindow(window, selectedProcess, ownerIsShell))
            continue;
        const auto rect = services.windowRect(window.handle);
        if (rect && largeEnoughToOffer(*rect))
            found.push_back({window.handle, rect->width(), rect->height()});
    }
    return found;
}

void DesktopController::listWindows()
{
    windows = enumerateWindows();
    if (windows.size() == 1) {
        // A lone window may be minimized behind others: restore it first so
        // its thumbnail shows something.
        sendFocusedNoticeIfDue();
        services.bringToFront(windows.front().handle);
        services.wait(kRestoreWait);
        windows = enumerateWindows();
    }
    std::sort(windows.begin(), windows.end(),
              [](const WindowEntry& a, const WindowEntry& b) { return a.handle < b.handle; });

    const std::size_t listed = std::min(windows.size(), kMaxListedWindows);
    std::vector<WindowHandle> handles;
    for (std::size_t i = 0; i < listed; ++i)
        handles.push_back(windows[i].handle);
    ids.renew(handles, {targetWindow, streamedWindow});

    std::string listing;
    for (std::size_t i = 0; i < listed; ++i) {
        const WindowEntry& entry = windows[i];
        if (entry.handle == 0)
            continue;
        services.bringToFront(entry.handle);
        services.wait(kRepaintWait);
        streamThumbnail(entry.handle, static_cast<std::int32_t>(i));
        if (!listing.empty())
            listing += '\n';
        listing += formatTriple(ids.idOf(entry.handle), entry.width, entry.height);
    }
    services.wait(kSettleWait);
    reply(kWindowListReply, std::move(listing));
}

void DesktopController::selectWindow(float id)
{
    const WindowHandle window = ids.handleOf(truncateToInt(id));
    const auto rect = services.windowRect(window);
    if (!rect)
        return;
    targetWindow = window;
    windowSize = {static_cast<float>(rect->width()), static_cast<float>(rect->height())};
    sendFocusedNoticeIfDue();
    services.bringToFront(window);
}

void DesktopController::focusTarget()
{
    sendFocusedNoticeIfDue();
    if (targetWindow != kNoWindow)
        services.bringToFront(targetWindow);
}

bool DesktopController::isInFront(WindowHandle window)
{
    const WindowHandle foreground = services.foregroundWindow();
    if (window == services.desktopWindow() || window == foreground)
        return true;
    const std::int32_t owner = services.windowProcess(window);
    return owner != 0 && owner == services.windowProcess(foreground);
}

}  // namespace corvello
