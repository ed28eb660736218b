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

// The pixel bits a picture carries; the fourth byte always goes as 0.
inline constexpr std::uint32_t kColourBits = 0x00FFFFFF;

// Compresses and sends one bitmap file (a thumbnail) as a batch; on
// compression failure the file goes uncompressed.
void streamImage(RemoteQueue& queue, std::span<const std::uint8_t> bitmapFile, std::int32_t imageIndex,
                 PixelSize size, ImageBuffers& workspace);

// Sends the watched window's picture in full as a batch and keeps it as the
// reference frame for the tiles that follow. The picture must fit the
// reference frame.
void streamWatchedImage(RemoteQueue& queue, const PixelView& picture, ImageBuffers& workspace);

struct TileGrid {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    std::int32_t lastColumnWidth = 0;
    std::int32_t lastRowHeight = 0;

    explicit TileGrid(PixelSize size);
    TileArea tile(std::int32_t column, std::int32_t row) const;
};

// Sends the tiles in which `current` differs from the reference frame (which
// holds a picture of the same size), updates the reference to `current`, and
// closes the round with the frame end; all as one batch.
void streamTileChanges(RemoteQueue& queue, const PixelView& current, ImageBuffers& workspace);

}  // namespace corvello
