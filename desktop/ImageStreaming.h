#pragma once
// Sending pictures: a whole picture once, then 64 x 64 tiles that carry only
// the pixel differences since the previous picture.

#include <cstdint>
#include <span>

#include "core/RemoteQueue.h"
#include "desktop/DesktopServices.h"
#include "desktop/ImageBuffers.h"
#include "desktop/ImageRecords.h"

namespace corvello {

// A compressed thumbnail this large no longer fits the remote's buffer.
inline constexpr std::size_t kRemoteThumbnailLimit = 91'820;

// Compresses and sends one bitmap file as a batch; on compression failure the
// file goes uncompressed.
void streamImage(RemoteQueue& queue, std::span<const std::uint8_t> bitmapFile, std::int32_t imageIndex,
                 PixelSize size, std::span<std::uint8_t> compressionArea);

struct TileGrid {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    std::int32_t lastColumnWidth = 0;
    std::int32_t lastRowHeight = 0;

    explicit TileGrid(PixelSize size);
    TileArea tile(std::int32_t column, std::int32_t row) const;
};

// Sends the tiles in which `current` differs from `reference` (both 32-bit
// pixels, row stride = width), updates `reference` to `current`, and closes
// the round with the frame end; all as one batch.
void streamTileChanges(RemoteQueue& queue, std::span<const std::uint8_t> current,
                       std::span<std::uint8_t> reference, PixelSize size, ImageBuffers& workspace);

}  // namespace corvello
