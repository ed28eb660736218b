// The Windows desktop: SendInput for the pointer, process status and window
// management for the inventory, GDI for pixels.

#include "desktop/Win32Desktop.h"  // windows.h must precede psapi.h

#include <psapi.h>

#include <set>
#include <string>

namespace corvello {

namespace {

constexpr DWORD kProcessAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE;  // 0x450
constexpr DWORD kMaxProcessIds = 1024;
constexpr DWORD kMaxNameLength = 260;
constexpr LONG kNoActivateTransparent = WS_EX_NOACTIVATE | WS_EX_TRANSPARENT;  // 0x08000020

BOOL CALLBACK collectWindow(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> allTopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

DWORD processOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::set<DWORD> processesWithShownWindows()
{
    std::set<DWORD> owners;
    for (HWND window : allTopLevelWindows()) {
        if (IsWindowVisible(window) && !IsIconic(window))
            owners.insert(processOf(window));
    }
    return owners;
}

// Base name of the first module, else of the image file, else a placeholder.
std::string processName(HANDLE process)
{
    char name[kMaxNameLength + 1] = {};
    HMODULE firstModule = nullptr;
    DWORD needed = 0;
    if (EnumProcessModules(process, &firstModule, sizeof firstModule, &needed) &&
        GetModuleBaseNameA(process, firstModule, name, kMaxNameLength))
        return name;
    if (GetProcessImageFileNameA(process, name, kMaxNameLength)) {
        const std::string path = name;
        return path.substr(path.find_last_of('\\') + 1);
    }
    return "Unknown(" + std::to_string(static_cast<long long>(reinterpret_cast<std::intptr_t>(process))) + ")";
}

class Win32DesktopServices final : public DesktopServices {
public:
    PixelSize screenSize() override { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

    void injectMouse(std::int32_t normalisedX, std::int32_t normalisedY, MouseAction action) override
    {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dx = normalisedX;
        input.mi.dy = normalisedY;
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        if (action == MouseAction::press)
            input.mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
        else if (action == MouseAction::release)
            input.mi.dwFlags |= MOUSEEVENTF_LEFTUP;
        SendInput(1, &input, sizeof input);
    }

    std::vector<ShownProcess> shownProcesses() override
    {
        DWORD ids[kMaxProcessIds];
        DWORD bytes = 0;
        if (!EnumProcesses(ids, sizeof ids, &bytes))
            return {};
        const std::set<DWORD> owners = processesWithShownWindows();
        std::vector<ShownProcess> shown;
        for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
            if (ids[i] == 0 || !owners.count(ids[i]))
                continue;
            HANDLE process = OpenProcess(kProcessAccess, FALSE, ids[i]);
            if (!process)
                continue;
            shown.push_back({static_cast<std::int32_t>(ids[i]), processName(process)});
            CloseHandle(process);
        }
        return shown;
    }

    std::vector<TopLevelWindow> topLevelWindows() override
    {
        std::vector<TopLevelWindow> windows;
        for (HWND window : allTopLevelWindows()) {
            const LONG style = GetWindowLongA(window, GWL_STYLE);
            const LONG extendedStyle = GetWindowLongA(window, GWL_EXSTYLE);
            windows.push_back({fromHwnd(window), static_cast<std::int32_t>(processOf(window)),
                               IsWindowVisible(window) != FALSE, (style & WS_MINIMIZE) != 0,
                               (static_cast<DWORD>(style) & WS_POPUP) != 0,
                               (extendedStyle & kNoActivateTransparent) == kNoActivateTransparent});
        }
        return windows;
    }

    std::optional<WindowRect> windowRect(WindowHandle handle) override
    {
        HWND window = toHwnd(handle);
        RECT rect;
        if (!IsWindow(window) || !GetWindowRect(window, &rect))
            return std::nullopt;
        return WindowRect{rect.left, rect.top, rect.right, rect.bottom};
    }

    WindowHandle desktopWindow() override { return fromHwnd(GetDesktopWindow()); }
    WindowHandle foregroundWindow() override { return fromHwnd(GetForegroundWindow()); }

    std::int32_t windowProcess(WindowHandle handle) override
    {
        HWND window = toHwnd(handle);
        return IsWindow(window) ? static_cast<std::int32_t>(processOf(window)) : 0;
    }

    void bringToFront(WindowHandle handle) override { bringWindowToFront(toHwnd(handle)); }

    bool captureScreen(const WindowRect& area, std::span<std::uint8_t> pixels) override
    {
        return captureScreenArea(area, pixels);
    }

    bool captureThumbnail(WindowHandle handle, PixelSize size, std::span<std::uint8_t> pixels) override
    {
        return captureWindowThumbnail(toHwnd(handle), size, pixels);
    }

    void wait(std::chrono::milliseconds duration) override { Sleep(static_cast<DWORD>(duration.count())); }
};

}  // namespace

DesktopServices& platformDesktopServices()
{
    static Win32DesktopServices services;
    return services;
}

}  // namespace corvello
