#pragma once
// Settings of the desktop that every controller shares: whether the remote
// may use the desktop, where the remote's picture of the desktop starts, and
// how much of a window may be captured.
// Atomics, because the two controllers may in principle run on different
// threads; the design has one remote driving the desktop at a time, so no
// stronger consistency is needed.

#include <atomic>
#include <cstdint>

namespace corvello {

struct DesktopPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const DesktopPoint&, const DesktopPoint&) = default;
};

inline constexpr std::int32_t kDefaultCaptureWidthLimit = 819;
inline constexpr std::int32_t kDefaultCaptureHeightLimit = 609;

class DesktopSettings {
public:
    // Whether the remote may use the desktop at all (pointer, lists, focus,
    // pictures); the user's switch, which may change while a remote is connected.
    bool allowsControl() const { return controlAllowed.load(); }
    void allowControl(bool allowed) { controlAllowed = allowed; }

    DesktopPoint origin() const { return {originX.load(), originY.load()}; }
    void setOrigin(DesktopPoint point)
    {
        originX = point.x;
        originY = point.y;
    }

    std::int32_t captureWidthLimit() const { return widthLimit.load(); }
    std::int32_t captureHeightLimit() const { return heightLimit.load(); }
    void setCaptureLimits(std::int32_t width, std::int32_t height)
    {
        widthLimit = width;
        heightLimit = height;
    }

private:
    std::atomic<bool> controlAllowed{true};
    std::atomic<std::int32_t> originX{0};
    std::atomic<std::int32_t> originY{0};
    std::atomic<std::int32_t> widthLimit{kDefaultCaptureWidthLimit};
    std::atomic<std::int32_t> heightLimit{kDefaultCaptureHeightLimit};
};

// The process-wide settings (`desktopOrigin` and the capture limits).
DesktopSettings& desktopSettings();

}  // namespace corvello
