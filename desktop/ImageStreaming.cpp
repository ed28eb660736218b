#include "desktop/ImageStreaming.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "desktop/BitmapFile.h"
#include "platform/Log.h"

namespace corvello {

// Pixels are handed to zlib and the remote as they lie in memory.
static_assert(std::endian::native == std::endian::little, "pictures are sent as little-endian pixels");

namespace {

// Keeps the records of one picture together in the queue.
class Batch {
public:
    explicit Batch(DeviceProtocol& queue) : queue(queue) { queue.beginBatch(); }
    ~Batch() { queue.endBatch(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    DeviceProtocol& queue;
};

template <typename T>
std::span<const std::uint8_t> bytesOf(const T* values, std::size_t count)
{
    return {reinterpret_cast<const std::uint8_t*>(values), count * sizeof(T)};
}

Payload compressOrKeep(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> area, ImageCompressor& zlib)
{
    if (auto compressed = zlib.compress({bytes}, area))
        return {*compressed, true};
    return {bytes, false};
}

void warnIfThumbnailTooLarge(const Payload& payload, std::int32_t imageIndex)
{
    if (payload.compressed && imageIndex >= 0 && payload.bytes.size() >= kRemoteThumbnailLimit)
        log::error("Error: thumbnail buffer size too small: %d larger than %d", static_cast<int>(payload.bytes.size()),
                   static_cast<int>(kRemoteThumbnailLimit));
}

std::int32_t remainderOrFull(std::int32_t length)
{
    const std::int32_t rest = length % kTileSide;
    return rest == 0 ? kTileSide : rest;
}

// Whether any pixel of the tile differs from the reference, row by row: a
// row is compared whole (the loop vectorises), the first differing row ends
// the search, so an unchanged window costs one read of each frame.
bool tileChanged(const TileArea& tile, const PixelView& current, const std::uint32_t* reference)
{
    for (std::int32_t y = tile.y0; y < tile.y0 + tile.height; ++y) {
        const std::uint32_t* now = current.row(y) + tile.x0;
        const std::uint32_t* before = reference + static_cast<std::size_t>(y) * current.size.width + tile.x0;
        std::uint32_t differing = 0;
        for (std::int32_t x = 0; x < tile.width; ++x)
            differing |= now[x] ^ before[x];
        if (differing & kColourBits)
            return true;
    }
    return false;
}

// Writes cur - ref of one tile into `differences` and moves ref to cur.
void diffTile(const TileArea& tile, const PixelView& current, std::uint32_t* reference, std::uint32_t* differences)
{
    for (std::int32_t y = tile.y0; y < tile.y0 + tile.height; ++y) {
        const std::uint32_t* now = current.row(y) + tile.x0;
        std::uint32_t* before = reference + static_cast<std::size_t>(y) * current.size.width + tile.x0;
        for (std::int32_t x = 0; x < tile.width; ++x) {
            const std::uint32_t pixel = now[x] & kColourBits;
            *differences++ = pixel - before[x];
            before[x] = pixel;
        }
    }
}

// The reference frame becomes the picture with its fourth bytes cleared.
void keepAsReference(const PixelView& picture, std::uint32_t* reference)
{
    const auto width = static_cast<std::size_t>(picture.size.width);
    for (std::int32_t y = 0; y < picture.size.height; ++y) {
        const std::uint32_t* from = picture.row(y);
        std::uint32_t* to = reference + y * width;
        for (std::size_t x = 0; x < width; ++x)
            to[x] = from[x] & kColourBits;
    }
}

}  // namespace

void streamImage(DeviceProtocol& queue, std::span<const std::uint8_t> bitmapFile, std::int32_t imageIndex,
                 PixelSize size, ImageBuffers& workspace)
{
    Batch batch(queue);
    const Payload payload = compressOrKeep(bitmapFile, workspace.compressed, workspace.compressor);
    warnIfThumbnailTooLarge(payload, imageIndex);
    sendImageRecords(queue, payload, imageIndex, size);
}

void streamWatchedImage(DeviceProtocol& queue, const PixelView& picture, ImageBuffers& workspace)
{
    const std::uint64_t bytes = pixelBytes(picture.size);
    if (bytes == 0 || bytes > workspace.reference.size() * 4)
        return;
    keepAsReference(picture, workspace.reference.data());
    const auto pixels = bytesOf(workspace.reference.data(), static_cast<std::size_t>(bytes / 4));

    const auto headers = bitmapHeaders(picture.size);
    Batch batch(queue);
    if (auto compressed = workspace.compressor.compress({headers, pixels}, workspace.compressed)) {
        sendImageRecords(queue, {*compressed, true}, kWatchedImage, picture.size);
        return;
    }
    // Uncompressed, the file must lie in one piece.
    const auto file = startBitmapFile(workspace.capture, picture.size);
    if (!file)
        return;
    std::memcpy(file->data(), pixels.data(), pixels.size());
    sendImageRecords(queue, {bitmapFileBytes(workspace.capture, picture.size), false}, kWatchedImage, picture.size);
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

void streamTileChanges(DeviceProtocol& queue, const PixelView& current, ImageBuffers& workspace)
{
    const std::uint64_t bytes = pixelBytes(current.size);
    if (bytes == 0 || bytes > workspace.reference.size() * 4)
        return;
    std::uint32_t* reference = workspace.reference.data();
    std::uint32_t* differences = workspace.tileDifferences.data();
    Batch batch(queue);
    const TileGrid grid(current.size);
    bool anyTileSent = false;
    for (std::int32_t row = 0; row < grid.rows; ++row) {
        for (std::int32_t column = 0; column < grid.columns; ++column) {
            const TileArea tile = grid.tile(column, row);
            if (!tileChanged(tile, current, reference))
                continue;
            diffTile(tile, current, reference, differences);
            const auto tileBytes = bytesOf(differences, static_cast<std::size_t>(tile.width) * tile.height);
            sendTileRecords(queue, compressOrKeep(tileBytes, workspace.tileCompressed, workspace.compressor), tile);
            anyTileSent = true;
        }
    }
    sendFrameEnd(queue, anyTileSent);
}

}  // namespace corvello
