#pragma once
// From the remote's touch-pad coordinates to an absolute pointer position on
// the desktop, computed in 32-bit floating point like the remote expects.

#include <cstdint>
#include <optional>

#include "desktop/DesktopArguments.h"
#include "desktop/DesktopServices.h"
#include "desktop/DesktopSettings.h"

namespace corvello {

struct FloatPoint {
    float x = 0.0f;
    float y = 0.0f;
    friend bool operator==(const FloatPoint&, const FloatPoint&) = default;
};

struct PointMapping {
    float scale = 1.0f;
    FloatPoint pointerOffset;  // subtracted from x, added to y
    DesktopPoint desktopOrigin;
    FloatPoint windowOrigin;

    FloatPoint map(IntPair touch) const;
};

// The pointer event position normalised to 0..65535 across the desktop area
// (desktop coordinates, physical pixels), clamped to its edges; empty when
// the area is too small to normalise against (no display).
struct NormalisedPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const NormalisedPoint&, const NormalisedPoint&) = default;
};
std::optional<NormalisedPoint> normalise(FloatPoint point, const WindowRect& desktop);

}  // namespace corvello
