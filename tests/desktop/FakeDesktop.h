#pragma once
// A desktop in memory: a screen picture, windows as rectangles on it, and a
// record of every pointer event, focus request and wait.

#include <algorithm>
#include <map>
#include <vector>

#include "desktop/DesktopServices.h"
#include "desktop/PixelScaling.h"

namespace corvello::test {

struct FakeWindow {
    TopLevelWindow info;
    WindowRect rect;
};

struct CaptureRequest {
    WindowHandle window;
    WindowRect area;
};

struct MouseEvent {
    std::int32_t x, y;
    MouseAction action;
    friend bool operator==(const MouseEvent&, const MouseEvent&) = default;
};

class FakeDesktop final : public DesktopServices {
public:
    static constexpr WindowHandle kRoot = 1;

    explicit FakeDesktop(PixelSize screen = {1281, 1025}) : screen(screen), pixels(std::size_t(screen.width) * screen.height) {}

    FakeWindow& addWindow(WindowHandle handle, std::int32_t pid, WindowRect rect)
    {
        windows.push_back({{handle, pid, true, false, false, false}, rect});
        return windows.back();
    }
    void addProcess(std::int32_t pid, std::string name) { processes.push_back({pid, std::move(name)}); }

    std::uint32_t& pixel(std::int32_t x, std::int32_t y) { return pixels[std::size_t(y) * screen.width + x]; }
    void paint(const WindowRect& area, std::uint32_t (*colour)(std::int32_t x, std::int32_t y))
    {
        for (std::int32_t y = area.top; y < area.bottom; ++y)
            for (std::int32_t x = area.left; x < area.right; ++x)
                pixel(x, y) = colour(x, y);
    }

    WindowRect desktopArea() override { return area ? *area : WindowRect{0, 0, screen.width, screen.height}; }
    void injectMouse(std::int32_t x, std::int32_t y, MouseAction action) override { mouse.push_back({x, y, action}); }
    std::vector<ShownProcess> shownProcesses() override { return processes; }
    std::vector<TopLevelWindow> topLevelWindows() override
    {
        std::vector<TopLevelWindow> infos;
        for (const auto& w : windows)
            infos.push_back(w.info);
        return infos;
    }
    std::optional<WindowRect> windowRect(WindowHandle handle) override
    {
        if (handle == kRoot)
            return WindowRect{0, 0, screen.width, screen.height};
        const FakeWindow* w = find(handle);
        return w ? std::optional(w->rect) : std::nullopt;
    }
    WindowHandle desktopWindow() override { return kRoot; }
    WindowHandle foregroundWindow() override { return foreground; }
    std::int32_t windowProcess(WindowHandle handle) override
    {
        const FakeWindow* w = find(handle);
        return w ? w->info.pid : 0;
    }
    void bringToFront(WindowHandle handle) override
    {
        raised.push_back(handle);
        if (find(handle))
            foreground = handle;
    }
    // Like a real screen, the captured memory holds junk in the fourth byte.
    std::optional<PixelView> captureWindow(WindowHandle handle, const WindowRect& area) override
    {
        captures.push_back({handle, area});
        captured.clear();
        for (std::int32_t y = area.top; y < area.bottom; ++y)
            for (std::int32_t x = area.left; x < area.right; ++x)
                captured.push_back(onScreen(x, y) ? pixel(x, y) | 0xA5000000u : 0);
        return PixelView{captured.data(), {area.width(), area.height()}, std::size_t(area.width())};
    }
    bool captureThumbnail(WindowHandle handle, PixelSize size, std::span<std::uint8_t> out) override
    {
        const auto rect = windowRect(handle);
        if (!rect)
            return false;
        thumbnails.push_back(handle);
        const auto full = captureWindow(handle, *rect);
        captures.pop_back();
        return full && shrinkPixels(*full, out, size);
    }
    void wait(std::chrono::milliseconds duration) override { waits.push_back(duration.count()); }

    PixelSize screen;
    std::optional<WindowRect> area;  // several monitors: the virtual desktop, if not the screen
    std::vector<std::uint32_t> pixels;
    std::vector<FakeWindow> windows;
    std::vector<ShownProcess> processes;
    WindowHandle foreground = 0;
    std::vector<MouseEvent> mouse;
    std::vector<WindowHandle> raised;
    std::vector<CaptureRequest> captures;  // watched-window pictures
    std::vector<WindowHandle> thumbnails;
    std::vector<std::uint32_t> captured;
    std::vector<long> waits;

private:
    FakeWindow* find(WindowHandle handle)
    {
        auto it = std::find_if(windows.begin(), windows.end(), [&](const FakeWindow& w) { return w.info.handle == handle; });
        return it == windows.end() ? nullptr : &*it;
    }
    bool onScreen(std::int32_t x, std::int32_t y) const { return x >= 0 && y >= 0 && x < screen.width && y < screen.height; }
};

}  // namespace corvello::test
