// The Windows desktop: SendInput for the pointer, process status and window
// management for the inventory, GDI for pixels. Everything is in physical
// pixels: the process is per-monitor DPI aware (the manifest says so; the
// call below covers programs without it, such as the tests).

#include "desktop/Win32Desktop.h"  // windows.h must precede psapi.h

#include <psapi.h>

#include <set>
#include <string>

#include "platform/Log.h"

namespace corvello {

namespace {

constexpr DWORD kProcessAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE;  // 0x450
constexpr DWORD kMaxProcessIds = 1024;
constexpr DWORD kMaxNameLength = 260;
constexpr LONG kNoActivateTransparent = WS_EX_NOACTIVATE | WS_EX_TRANSPARENT;  // 0x08000020

log::RateLimitedLog inputTrouble(log::Level::warning, std::chrono::seconds(10));

// The call and its constant exist from Windows 10 1703 on: looked up at run time.
void becomePerMonitorDpiAware()
{
    using SetContext = BOOL(WINAPI*)(HANDLE);
    const auto perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    const auto set = reinterpret_cast<SetContext>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDpiAwarenessContext")));
    // Access denied: the awareness is already set, by the manifest.
    if (set && (set(perMonitorV2) || GetLastError() == ERROR_ACCESS_DENIED))
        return;
    SetProcessDPIAware();  // before Windows 10: at least not scaled to the system DPI
}

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
    Win32DesktopServices() { becomePerMonitorDpiAware(); }

    WindowRect desktopArea() override
    {
        const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
        const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
        return {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    }

    // Normalised over the virtual desktop, so a tap on a window on any
    // monitor lands on it (without the flag, 0..65535 spans the primary only).
    void injectMouse(std::int32_t normalisedX, std::int32_t normalisedY, MouseAction action) override
    {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dx = normalisedX;
        input.mi.dy = normalisedY;
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
        if (action == MouseAction::press)
            input.mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
        else if (action == MouseAction::release)
            input.mi.dwFlags |= MOUSEEVENTF_LEFTUP;
        if (SendInput(1, &input, sizeof input) != 1)
            inputTrouble("Desktop: the pointer event was refused (error %lu)", GetLastError());
        else if (action == MouseAction::press && outranksThisProgram(GetForegroundWindow()))
            inputTrouble("Desktop: the window in front runs elevated; Windows drops the remote's pointer input to it "
                         "unless Corvello runs elevated too");
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

    std::optional<PixelView> captureWindow(WindowHandle handle, const WindowRect& area) override
    {
        return captureWindowPicture(toHwnd(handle), area, watched);
    }

    bool captureThumbnail(WindowHandle handle, PixelSize size, std::span<std::uint8_t> pixels) override
    {
        return captureWindowThumbnail(toHwnd(handle), size, thumbnailSource, thumbnail, pixels);
    }

    void wait(std::chrono::milliseconds duration) override { Sleep(static_cast<DWORD>(duration.count())); }

private:
    // Callers produce one picture at a time (DesktopServices.h).
    DibCanvas watched;
    DibCanvas thumbnailSource;
    DibCanvas thumbnail;
};

}  // namespace

DesktopServices& platformDesktopServices()
{
    static Win32DesktopServices services;
    return services;
}

}  // namespace corvello
