#pragma once
// Shrinking a picture by averaging the source pixels each target pixel
// covers: the half-tone result that a platform without a stretching blit
// uses for thumbnails.

#include <cstdint>
#include <span>

#include "desktop/DesktopServices.h"

namespace corvello {

// Both pictures are 32-bit little-endian pixels, rows packed, top row first;
// `to` must not be larger than `from`. Returns false when a buffer is too short.
bool shrinkPixels(std::span<const std::uint8_t> from, PixelSize fromSize, std::span<std::uint8_t> to,
                  PixelSize toSize);

}  // namespace corvello
