#include "desktop/ImageStreaming.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "desktop/BitmapFile.h"
#include "platform/Log.h"

namespace corvello {

// Pixels are handed to zlib and the remote as they lie in memory.
static_assert(std::endian::native == std::endian::little, "pictures are sent as little-endian pixels");

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

std::span<const std::uint8_t> bytesOf(const std::uint32_t* values, std::size_t count)
{
    return {reinterpret_cast<const std::uint8_t*>(values), count * 4};
}

Payload compressOrKeep(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> area, ImageCompressor& zlib)
{
    if (auto compressed = zlib.compress(bytes, area))
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

// Marks the columns of one band of tiles in which any word differs from the
// reference. Each row is compared whole first (one long memcmp runs at the
// speed of memory; one per tile row would cost more in calls than in bytes),
// and only a row that differs is compared tile by tile.
void findChangedColumns(const TileGrid& grid, std::int32_t band, const PixelView& current,
                        const std::uint32_t* reference, std::vector<bool>& changed)
{
    std::fill(changed.begin(), changed.end(), false);
    const auto width = static_cast<std::size_t>(current.size.width);
    const TileArea first = grid.tile(0, band);
    for (std::int32_t y = first.y0; y < first.y0 + first.height; ++y) {
        const std::uint32_t* now = current.row(y);
        const std::uint32_t* before = reference + static_cast<std::size_t>(y) * width;
        if (std::memcmp(now, before, width * 4) == 0)
            continue;
        for (std::int32_t column = 0; column < grid.columns; ++column) {
            const TileArea tile = grid.tile(column, band);
            if (!changed[column])
                changed[column] = std::memcmp(now + tile.x0, before + tile.x0, std::size_t(tile.width) * 4) != 0;
        }
    }
}

// Writes cur - ref of one tile's colours into `differences` and moves ref to
// cur. False when only fourth bytes changed: nothing the remote shows.
bool diffTile(const TileArea& tile, const PixelView& current, std::uint32_t* reference, std::uint32_t* differences)
{
    std::uint32_t any = 0;
    for (std::int32_t y = tile.y0; y < tile.y0 + tile.height; ++y) {
        const std::uint32_t* now = current.row(y) + tile.x0;
        std::uint32_t* before = reference + static_cast<std::size_t>(y) * current.size.width + tile.x0;
        for (std::int32_t x = 0; x < tile.width; ++x) {
            const std::uint32_t difference = (now[x] & kColourBits) - (before[x] & kColourBits);
            *differences++ = difference;
            any |= difference;
            before[x] = now[x];
        }
    }
    return any != 0;
}

// The picture twice, row by row so that each row is read from memory once:
// as the reference (the words as captured, so comparing needs no masking) and
// as it is sent (its colours, the fourth bytes cleared). Two pixels per step:
// the file's pixels start at an odd offset (54), so stores go through memcpy,
// which compiles to plain moves.
void keepAndCopyColours(const PixelView& picture, std::uint32_t* reference, std::uint8_t* out)
{
    constexpr std::uint64_t kTwoColours = std::uint64_t{kColourBits} << 32 | kColourBits;
    const auto width = static_cast<std::size_t>(picture.size.width);
    for (std::int32_t y = 0; y < picture.size.height; ++y) {
        const std::uint32_t* row = picture.row(y);
        std::memcpy(reference + y * width, row, width * 4);
        std::size_t x = 0;
        for (; x + 2 <= width; x += 2, out += 8) {
            std::uint64_t pair;
            std::memcpy(&pair, row + x, 8);
            pair &= kTwoColours;
            std::memcpy(out, &pair, 8);
        }
        if (x < width) {
            const std::uint32_t colour = row[x] & kColourBits;
            std::memcpy(out, &colour, 4);
            out += 4;
        }
    }
}

}  // namespace

void streamImage(RemoteQueue& queue, std::span<const std::uint8_t> bitmapFile, std::int32_t imageIndex,
                 PixelSize size, ImageBuffers& workspace)
{
    Batch batch(queue);
    const Payload payload = compressOrKeep(bitmapFile, workspace.compressed, workspace.compressor);
    warnIfThumbnailTooLarge(payload, imageIndex);
    sendImageRecords(queue, payload, imageIndex, size);
}

void streamWatchedImage(RemoteQueue& queue, const PixelView& picture, ImageBuffers& workspace)
{
    const std::uint64_t bytes = pixelBytes(picture.size);
    const auto file = startBitmapFile(workspace.capture, picture.size);
    if (bytes == 0 || bytes > workspace.reference.size() * 4 || !file)
        return;
    keepAndCopyColours(picture, workspace.reference.data(), file->data());
    Batch batch(queue);
    const Payload payload =
        compressOrKeep(bitmapFileBytes(workspace.capture, picture.size), workspace.compressed, workspace.compressor);
    sendImageRecords(queue, payload, kWatchedImage, picture.size);
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

void streamTileChanges(RemoteQueue& queue, const PixelView& current, ImageBuffers& workspace)
{
    const std::uint64_t bytes = pixelBytes(current.size);
    if (bytes == 0 || bytes > workspace.reference.size() * 4)
        return;
    std::uint32_t* reference = workspace.reference.data();
    std::uint32_t* differences = workspace.tileDifferences.data();
    Batch batch(queue);
    const TileGrid grid(current.size);
    bool anyTileSent = false;
    std::vector<bool> changed(static_cast<std::size_t>(grid.columns));
    for (std::int32_t row = 0; row < grid.rows; ++row) {
        findChangedColumns(grid, row, current, reference, changed);
        for (std::int32_t column = 0; column < grid.columns; ++column) {
            const TileArea tile = grid.tile(column, row);
            if (!changed[column] || !diffTile(tile, current, reference, differences))
                continue;
            const auto tileBytes = bytesOf(differences, static_cast<std::size_t>(tile.width) * tile.height);
            sendTileRecords(queue, compressOrKeep(tileBytes, workspace.tileCompressed, workspace.compressor), tile);
            anyTileSent = true;
        }
    }
    sendFrameEnd(queue, anyTileSent);
}

}  // namespace corvello
