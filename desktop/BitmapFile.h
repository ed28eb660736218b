#pragma once
// Window pictures travel as in-memory bitmap files: a 14-byte file header, a
// 40-byte information header, then 32-bit pixels with the top row first.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "desktop/DesktopServices.h"

namespace corvello {

inline constexpr std::size_t kBitmapHeadersSize = 14 + 40;
inline constexpr std::uint32_t kBitmapBitsPerPixel = 32;

// Pixel bytes of a 32-bit picture, computed without overflow.
std::uint64_t pixelBytes(PixelSize size);

// Writes the headers for a picture of `size` at the start of `buffer` and
// returns the area its pixels go to. Empty, with nothing written, when the
// buffer cannot hold headers, pixels and the 5 spare bytes the format
// query has always been given.
std::optional<std::span<std::uint8_t>> startBitmapFile(std::span<std::uint8_t> buffer, PixelSize size);

// Headers plus pixels: the bytes that are streamed.
std::span<const std::uint8_t> bitmapFileBytes(std::span<const std::uint8_t> buffer, PixelSize size);

}  // namespace corvello
