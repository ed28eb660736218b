#pragma once
// Shrinking a picture by averaging the source pixels each target pixel
// covers: the half-tone result that a platform without a stretching blit
// uses for thumbnails.

#include <cstdint>
#include <span>

#include "desktop/DesktopServices.h"

namespace corvello {

// `to` receives 32-bit little-endian 0x00RRGGBB pixels, rows packed, top
// row first; it must not be larger than `from`. Returns false when it is, or
// when `to` is too short.
bool shrinkPixels(const PixelView& from, std::span<std::uint8_t> to, PixelSize toSize);

}  // namespace corvello
