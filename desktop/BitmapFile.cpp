#include "desktop/BitmapFile.h"

#include "desktop/LittleEndian.h"

namespace corvello {

namespace {

constexpr std::size_t kSpareBytes = 5;

void writeHeaders(std::uint8_t* out, PixelSize size, std::uint32_t imageBytes)
{
    // File header.
    out[0] = 'B';
    out[1] = 'M';
    storeLE32(out + 2, imageBytes + kBitmapHeadersSize);
    storeLE32(out + 6, 0);  // two reserved 16-bit fields
    storeLE32(out + 10, kBitmapHeadersSize);
    // Information header, as the platform reports it for a 32-bit bitmap.
    std::uint8_t* info = out + 14;
    storeLE32(info + 0, 40);
    storeLE32(info + 4, static_cast<std::uint32_t>(size.width));
    storeLE32(info + 8, static_cast<std::uint32_t>(size.height));
    storeLE16(info + 12, 1);  // planes
    storeLE16(info + 14, kBitmapBitsPerPixel);
    storeLE32(info + 16, 0);  // uncompressed
    storeLE32(info + 20, imageBytes);
    for (std::size_t at = 24; at < 40; at += 4)
        storeLE32(info + at, 0);  // resolution and palette: none
}

}  // namespace

std::uint64_t pixelBytes(PixelSize size)
{
    if (size.width <= 0 || size.height <= 0)
        return 0;
    return std::uint64_t{static_cast<std::uint32_t>(size.width)} * static_cast<std::uint32_t>(size.height) * 4;
}

std::optional<std::span<std::uint8_t>> startBitmapFile(std::span<std::uint8_t> buffer, PixelSize size)
{
    const std::uint64_t imageBytes = pixelBytes(size);
    if (imageBytes == 0 || kBitmapHeadersSize + imageBytes + kSpareBytes > buffer.size())
        return std::nullopt;
    writeHeaders(buffer.data(), size, static_cast<std::uint32_t>(imageBytes));
    return buffer.subspan(kBitmapHeadersSize, static_cast<std::size_t>(imageBytes));
}

std::span<const std::uint8_t> bitmapFileBytes(std::span<const std::uint8_t> buffer, PixelSize size)
{
    return buffer.first(kBitmapHeadersSize + static_cast<std::size_t>(pixelBytes(size)));
}

}  // namespace corvello
