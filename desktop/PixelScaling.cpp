#include "desktop/PixelScaling.h"

#include "desktop/BitmapFile.h"
#include "desktop/LittleEndian.h"

namespace corvello {

namespace {

struct Span1D {
    std::int64_t begin;
    std::int64_t end;
};

// Source pixels [begin, end) that target pixel `i` of `toLength` covers.
Span1D coveredRange(std::int32_t i, std::int32_t toLength, std::int32_t fromLength)
{
    const std::int64_t begin = std::int64_t{i} * fromLength / toLength;
    const std::int64_t end = std::int64_t{i + 1} * fromLength / toLength;
    return {begin, end > begin ? end : begin + 1};
}

std::uint32_t averageBox(const PixelView& from, Span1D xs, Span1D ys)
{
    std::uint64_t sums[3] = {0, 0, 0};
    for (std::int64_t y = ys.begin; y < ys.end; ++y) {
        const std::uint32_t* row = from.row(static_cast<std::int32_t>(y));
        for (std::int64_t x = xs.begin; x < xs.end; ++x) {
            const std::uint32_t pixel = row[x];
            for (int channel = 0; channel < 3; ++channel)
                sums[channel] += (pixel >> (channel * 8)) & 0xFF;
        }
    }
    const auto count = static_cast<std::uint64_t>((xs.end - xs.begin) * (ys.end - ys.begin));
    std::uint32_t average = 0;
    for (int channel = 0; channel < 3; ++channel)
        average |= static_cast<std::uint32_t>(sums[channel] / count) << (channel * 8);
    return average;
}

}  // namespace

bool shrinkPixels(const PixelView& from, std::span<std::uint8_t> to, PixelSize toSize)
{
    const PixelSize fromSize = from.size;
    if (pixelBytes(toSize) == 0 || toSize.width > fromSize.width || toSize.height > fromSize.height ||
        !from.pixels || from.stride < static_cast<std::size_t>(fromSize.width) || to.size() < pixelBytes(toSize))
        return false;
    std::uint8_t* out = to.data();
    for (std::int32_t y = 0; y < toSize.height; ++y) {
        const Span1D ys = coveredRange(y, toSize.height, fromSize.height);
        for (std::int32_t x = 0; x < toSize.width; ++x) {
            storeLE32(out, averageBox(from, coveredRange(x, toSize.width, fromSize.width), ys));
            out += 4;
        }
    }
    return true;
}

}  // namespace corvello
