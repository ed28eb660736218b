#include "desktop/PointMapping.h"

namespace corvello {

FloatPoint PointMapping::map(IntPair touch) const
{
    float x = static_cast<float>(touch.first) * scale - pointerOffset.x;
    float y = static_cast<float>(touch.second) * scale + pointerOffset.y;
    x -= static_cast<float>(desktopOrigin.x);
    y -= static_cast<float>(desktopOrigin.y);
    return {x + windowOrigin.x, y + windowOrigin.y};
}

std::optional<NormalisedPoint> normalise(FloatPoint point, PixelSize screen)
{
    if (screen.width < 2 || screen.height < 2)
        return std::nullopt;
    constexpr float kFullScale = 65535.0f;
    return NormalisedPoint{
        truncateToInt(point.x * kFullScale / static_cast<float>(screen.width - 1)),
        truncateToInt(point.y * kFullScale / static_cast<float>(screen.height - 1)),
    };
}

}  // namespace corvello
