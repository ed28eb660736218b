#include "desktop/ImageStreaming.h"

#include <cstdio>

#include "desktop/BitmapFile.h"
#include "desktop/ImageCompression.h"
#include "desktop/LittleEndian.h"

namespace corvello {

namespace {

// Keeps the records of one picture together in the queue.
class Batch {
public:
    explicit Batch(RemoteQueue& queue) : queue(queue) { queue.beginBatch(); }
    ~Batch() { queue.endBatch(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    RemoteQueue& queue;
};

Payload compressOrKeep(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> area)
{
    if (auto compressed = compressInto(bytes, area))
        return {*compressed, true};
    return {bytes, false};
}

void warnIfThumbnailTooLarge(const Payload& payload, std::int32_t imageIndex)
{
    if (payload.compressed && imageIndex >= 0 && payload.bytes.size() >= kRemoteThumbnailLimit)
        std::fprintf(stderr, "Error: thumbnail buffer size too small: %d larger than %d\n",
                     static_cast<int>(payload.bytes.size()), static_cast<int>(kRemoteThumbnailLimit));
}

std::int32_t remainderOrFull(std::int32_t length)
{
    const std::int32_t rest = length % kTileSide;
    return rest == 0 ? kTileSide : rest;
}

// Writes cur - ref of one tile into `differences` and moves ref to cur.
bool diffTile(const TileArea& tile, std::int32_t stride, std::span<const std::uint8_t> current,
              std::span<std::uint8_t> reference, std::uint8_t* differences)
{
    bool changed = false;
    for (std::int32_t y = tile.y0; y < tile.y0 + tile.height; ++y) {
        const std::size_t rowStart = (static_cast<std::size_t>(y) * stride + tile.x0) * 4;
        for (std::size_t at = rowStart; at < rowStart + static_cast<std::size_t>(tile.width) * 4; at += 4) {
            const std::uint32_t now = loadLE32(&current[at]);
            const std::uint32_t difference = now - loadLE32(&reference[at]);
            storeLE32(differences, difference);
            storeLE32(&reference[at], now);
            differences += 4;
            changed |= difference != 0;
        }
    }
    return changed;
}

}  // namespace

void streamImage(RemoteQueue& queue, std::span<const std::uint8_t> bitmapFile, std::int32_t imageIndex,
                 PixelSize size, std::span<std::uint8_t> compressionArea)
{
    Batch batch(queue);
    const Payload payload = compressOrKeep(bitmapFile, compressionArea);
    warnIfThumbnailTooLarge(payload, imageIndex);
    sendImageRecords(queue, payload, imageIndex, size);
}

TileGrid::TileGrid(PixelSize size)
    : columns((size.width + kTileSide - 1) / kTileSide),
      rows((size.height + kTileSide - 1) / kTileSide),
      lastColumnWidth(remainderOrFull(size.width)),
      lastRowHeight(remainderOrFull(size.height))
{
}

TileArea TileGrid::tile(std::int32_t column, std::int32_t row) const
{
    return {column * kTileSide, row * kTileSide, column == columns - 1 ? lastColumnWidth : kTileSide,
            row == rows - 1 ? lastRowHeight : kTileSide};
}

void streamTileChanges(RemoteQueue& queue, std::span<const std::uint8_t> current,
                       std::span<std::uint8_t> reference, PixelSize size, ImageBuffers& workspace)
{
    const std::uint64_t needed = pixelBytes(size);
    if (needed == 0 || current.size() < needed || reference.size() < needed)
        return;
    Batch batch(queue);
    const TileGrid grid(size);
    bool anyTileSent = false;
    for (std::int32_t row = 0; row < grid.rows; ++row) {
        for (std::int32_t column = 0; column < grid.columns; ++column) {
            const TileArea tile = grid.tile(column, row);
            if (!diffTile(tile, size.width, current, reference, workspace.tileDifferences.data()))
                continue;
            const auto differences = std::span<const std::uint8_t>(workspace.tileDifferences)
                                         .first(static_cast<std::size_t>(tile.width) * tile.height * 4);
            sendTileRecords(queue, compressOrKeep(differences, workspace.tileCompressed), tile);
            anyTileSent = true;
        }
    }
    sendFrameEnd(queue, anyTileSent);
}

}  // namespace corvello
