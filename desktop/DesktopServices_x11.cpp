// The Linux desktop: XTest for the pointer, the window manager's EWMH hints
// for windows and focus, /proc for program names, X11Capture for pixels.
// Without a display every query answers as if no window could be read.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <mutex>
#include <thread>

#include "desktop/DesktopServices.h"
#include "desktop/PixelScaling.h"
#include "desktop/X11Capture.h"
#include "desktop/X11Display.h"

namespace corvello {

namespace {

constexpr int kLeftButton = 1;
constexpr long kActivationFromPager = 2;  // lets the window manager honour the request

// The program's executable name, as the process list shows it.
std::string programName(std::int32_t pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    char target[4096];
    const ssize_t length = readlink((proc + "/exe").c_str(), target, sizeof target - 1);
    if (length > 0) {
        const std::string path(target, static_cast<std::size_t>(length));
        return path.substr(path.find_last_of('/') + 1);
    }
    std::string name;
    std::ifstream comm(proc + "/comm");
    if (std::getline(comm, name) && !name.empty())
        return name;
    return "Unknown(" + std::to_string(pid) + ")";
}

std::int32_t toPixel(std::int32_t normalised, std::int32_t screenLength)
{
    return static_cast<std::int32_t>(std::lround(static_cast<double>(normalised) * (screenLength - 1) / 65535.0));
}

class X11DesktopServices final : public DesktopServices {
public:
    WindowRect desktopArea() override
    {
        std::lock_guard lock(mutex);
        Display* d = x.connection();
        if (!d)
            return {};
        return {0, 0, DisplayWidth(d, x.screen()), DisplayHeight(d, x.screen())};
    }

    void injectMouse(std::int32_t normalisedX, std::int32_t normalisedY, MouseAction action) override
    {
        std::lock_guard lock(mutex);
        Display* d = x.connection();
        if (!d)
            return;
        const int px = toPixel(normalisedX, DisplayWidth(d, x.screen()));
        const int py = toPixel(normalisedY, DisplayHeight(d, x.screen()));
        XTestFakeMotionEvent(d, x.screen(), px, py, CurrentTime);
        if (action != MouseAction::move)
            XTestFakeButtonEvent(d, kLeftButton, action == MouseAction::press, CurrentTime);
        XFlush(d);
    }

    std::vector<ShownProcess> shownProcesses() override
    {
        std::lock_guard lock(mutex);
        std::vector<ShownProcess> shown;
        if (!x.connection())
            return shown;
        for (Window window : x.topLevels()) {
            XWindowAttributes attributes;
            if (!x.attributes(window, attributes) || attributes.map_state != IsViewable || x.minimized(window))
                continue;
            const std::int32_t pid = x.pid(window);
            const bool seen =
                std::any_of(shown.begin(), shown.end(), [&](const ShownProcess& p) { return p.pid == pid; });
            if (pid > 0 && !seen)
                shown.push_back({pid, programName(pid)});
        }
        return shown;
    }

    std::vector<TopLevelWindow> topLevelWindows() override
    {
        std::lock_guard lock(mutex);
        std::vector<TopLevelWindow> windows;
        if (!x.connection())
            return windows;
        for (Window window : x.topLevels()) {
            XWindowAttributes attributes;
            if (!x.attributes(window, attributes))
                continue;
            const bool minimized = x.minimized(window);
            windows.push_back({static_cast<WindowHandle>(window), x.pid(window),
                               attributes.map_state == IsViewable || minimized, minimized,
                               attributes.override_redirect != False, false});
        }
        return windows;
    }

    std::optional<WindowRect> windowRect(WindowHandle handle) override
    {
        std::lock_guard lock(mutex);
        return rectOf(handle);
    }

    WindowHandle desktopWindow() override
    {
        std::lock_guard lock(mutex);
        return x.connection() ? static_cast<WindowHandle>(x.root()) : 0;
    }

    WindowHandle foregroundWindow() override
    {
        std::lock_guard lock(mutex);
        return static_cast<WindowHandle>(activeWindow());
    }

    std::int32_t windowProcess(WindowHandle handle) override
    {
        std::lock_guard lock(mutex);
        const auto window = static_cast<Window>(static_cast<std::uint32_t>(handle));
        return x.connection() && x.isTopLevel(window) ? x.pid(window) : 0;
    }

    void bringToFront(WindowHandle handle) override
    {
        std::lock_guard lock(mutex);
        Display* d = x.connection();
        const auto window = static_cast<Window>(static_cast<std::uint32_t>(handle));
        if (!d || !x.isTopLevel(window))
            return;
        if (x.minimized(window)) {
            XMapRaised(d, window);  // mapping an iconic window restores it
            XFlush(d);
            return;
        }
        if (activeWindow() == window)
            return;
        XRaiseWindow(d, window);
        activate(window);
        XFlush(d);
    }

    // The window's screen area: what is in front of the window shows too.
    std::optional<PixelView> captureWindow(WindowHandle, const WindowRect& area) override
    {
        std::lock_guard lock(mutex);
        return screen.capture(x, area);
    }

    bool captureThumbnail(WindowHandle handle, PixelSize size, std::span<std::uint8_t> pixels) override
    {
        std::lock_guard lock(mutex);
        const auto rect = rectOf(handle);
        if (!rect)
            return false;
        const auto source = screen.capture(x, *rect);
        return source && shrinkPixels(*source, pixels, size);
    }

    void wait(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }

private:
    std::optional<WindowRect> rectOf(WindowHandle handle)
    {
        Display* d = x.connection();
        const auto window = static_cast<Window>(static_cast<std::uint32_t>(handle));
        if (!d)
            return std::nullopt;
        if (window == x.root())
            return WindowRect{0, 0, DisplayWidth(d, x.screen()), DisplayHeight(d, x.screen())};
        // The geometry alone: the window's attributes would cost two round trips.
        Window root = 0;
        int x0 = 0, y0 = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        if (!x.isTopLevel(window) || !XGetGeometry(d, window, &root, &x0, &y0, &width, &height, &border, &depth))
            return std::nullopt;
        int left = 0, top = 0;
        Window child = 0;
        if (!XTranslateCoordinates(d, window, x.root(), 0, 0, &left, &top, &child))
            return std::nullopt;
        return WindowRect{left, top, left + static_cast<int>(width), top + static_cast<int>(height)};
    }

    Window activeWindow()
    {
        Display* d = x.connection();
        if (!d)
            return 0;
        const auto active = x.cardinals(x.root(), x.atom("_NET_ACTIVE_WINDOW"));
        if (!active.empty())
            return active.front();
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(d, &focus, &revert);
        return focus == PointerRoot ? 0 : topLevelAncestor(focus);
    }

    Window topLevelAncestor(Window window)
    {
        Display* d = x.connection();
        while (window != 0 && window != x.root()) {
            Window root = 0, parent = 0;
            Window* children = nullptr;
            unsigned int count = 0;
            const Status ok = XQueryTree(d, window, &root, &parent, &children, &count);
            if (children)
                XFree(children);
            if (!ok)
                return 0;
            if (parent == x.root())
                return window;
            window = parent;
        }
        return 0;
    }

    // Asks the window manager to activate the window; without one, focuses it directly.
    void activate(Window window)
    {
        Display* d = x.connection();
        if (x.cardinals(x.root(), x.atom("_NET_SUPPORTED")).empty()) {
            X11Display::ErrorTrap trap(d);
            XSetInputFocus(d, window, RevertToParent, CurrentTime);
            trap.failed();
            return;
        }
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = x.atom("_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = kActivationFromPager;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, x.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    }

    std::mutex mutex;  // Xlib calls on one connection must not interleave
    X11Display x;
    X11Capture screen;
};

}  // namespace

DesktopServices& platformDesktopServices()
{
    static X11DesktopServices services;
    return services;
}

}  // namespace corvello
