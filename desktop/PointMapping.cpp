#include "desktop/PointMapping.h"

#include <algorithm>

namespace corvello {

FloatPoint PointMapping::map(IntPair touch) const
{
    float x = static_cast<float>(touch.first) * scale - pointerOffset.x;
    float y = static_cast<float>(touch.second) * scale + pointerOffset.y;
    x -= static_cast<float>(desktopOrigin.x);
    y -= static_cast<float>(desktopOrigin.y);
    return {x + windowOrigin.x, y + windowOrigin.y};
}

std::optional<NormalisedPoint> normalise(FloatPoint point, const WindowRect& desktop)
{
    const std::int64_t width = std::int64_t{desktop.right} - desktop.left;
    const std::int64_t height = std::int64_t{desktop.bottom} - desktop.top;
    if (width < 2 || height < 2)
        return std::nullopt;
    constexpr float kFullScale = 65535.0f;
    // Beyond the desktop's edge is the edge: both platforms would put the pointer there anyway.
    const auto onDesktop = [](float position) { return std::clamp(truncateToInt(position), 0, 65535); };
    return NormalisedPoint{
        onDesktop((point.x - static_cast<float>(desktop.left)) * kFullScale / static_cast<float>(width - 1)),
        onDesktop((point.y - static_cast<float>(desktop.top)) * kFullScale / static_cast<float>(height - 1)),
    };
}

}  // namespace corvello
