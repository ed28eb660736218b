#pragma once
// The desktop as the controller sees it: input injection, the programs and
// windows on screen, focus and pixels. One implementation per platform
// (Win32 in DesktopServices_win.cpp, X11 in DesktopServices_x11.cpp); the
// controller logic only talks to this interface, so it runs against a fake
// desktop in the tests.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvello {

// The platform's window handle. Both platforms' handles fit 32 bits (Win32
// HWNDs are sign-extended 32-bit values, X11 XIDs are 29-bit); the remote
// never sees them, only the ids of WindowIds.h.
using WindowHandle = std::int32_t;
inline constexpr WindowHandle kNoWindow = -1;

struct WindowRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
};

struct PixelSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// A program with at least one visible, non-minimized top-level window.
struct ShownProcess {
    std::int32_t pid = 0;
    std::string name;  // executable base name as the platform reports it, uncut
};

struct TopLevelWindow {
    WindowHandle handle = 0;
    std::int32_t pid = 0;
    bool visible = false;
    bool minimized = false;
    bool popup = false;
    // Never takes focus and lets input through: overlays, not application windows.
    bool inputTransparentOverlay = false;
};

enum class MouseAction { press, move, release };

// Captured pixels where the platform put them: 32-bit 0x??RRGGBB values in
// host order (little-endian), top row first, `stride` values from one row to
// the next. The fourth byte is whatever the platform left there; whoever
// sends the pixels clears it.
struct PixelView {
    const std::uint32_t* pixels = nullptr;
    PixelSize size;
    std::size_t stride = 0;

    const std::uint32_t* row(std::int32_t y) const { return pixels + static_cast<std::size_t>(y) * stride; }
};

class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    // The desktop that pointer positions are normalised over, in physical
    // pixels: the X screen; on Windows the virtual desktop that spans every
    // monitor (its left and top are negative when a monitor lies left of or
    // above the primary one). Empty when there is no display.
    virtual WindowRect desktopArea() = 0;
    // One absolute pointer event, position normalised to 0..65535 across
    // desktopArea() on both axes.
    virtual void injectMouse(std::int32_t normalisedX, std::int32_t normalisedY, MouseAction action) = 0;

    virtual std::vector<ShownProcess> shownProcesses() = 0;
    virtual std::vector<TopLevelWindow> topLevelWindows() = 0;
    // Empty when the handle is not a live window.
    virtual std::optional<WindowRect> windowRect(WindowHandle window) = 0;
    virtual WindowHandle desktopWindow() = 0;
    virtual WindowHandle foregroundWindow() = 0;
    // 0 when unknown.
    virtual std::int32_t windowProcess(WindowHandle window) = 0;
    // Restores a minimized window, otherwise raises and focuses it.
    virtual void bringToFront(WindowHandle window) = 0;

    // The window's picture as shown in `area` of the screen (its rectangle,
    // moved by the desktop origin and clipped to the capture limits); parts
    // off the screen are black. Captured into memory the backend owns, with
    // no copy where the platform allows: the view stays valid until the next
    // capture, so callers produce one picture at a time (ImageBuffers' lease).
    virtual std::optional<PixelView> captureWindow(WindowHandle window, const WindowRect& area) = 0;
    // Draws the whole window scaled down to `size` into `pixels`: 32-bit
    // 0x00RRGGBB values, little-endian, top row first, rows packed.
    virtual bool captureThumbnail(WindowHandle window, PixelSize size, std::span<std::uint8_t> pixels) = 0;

    // Blocks the calling thread; a seam so tests need not wait for real.
    virtual void wait(std::chrono::milliseconds duration) = 0;
};

// The platform's desktop, created on first use and shared by every controller.
DesktopServices& platformDesktopServices();

}  // namespace corvello
