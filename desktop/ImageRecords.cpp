#include "desktop/ImageRecords.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "core/MessageRecord.h"
#include "desktop/LittleEndian.h"

namespace corvello {

namespace {

std::string integers(std::initializer_list<std::int32_t> values)
{
    std::string text(values.size() * 4, '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(text.data());
    for (std::int32_t value : values) {
        storeLE32(out, static_cast<std::uint32_t>(value));
        out += 4;
    }
    return text;
}

void sendText(RemoteQueue& queue, std::int32_t index, std::string text)
{
    queue.send(MessageRecord::withText(kDesktopKind, index, std::move(text)));
}

std::int32_t length(std::span<const std::uint8_t> bytes)
{
    return static_cast<std::int32_t>(bytes.size());
}

// Data records from `firstOffset` on; `trailer` follows offset and length
// (the image index for pictures, nothing for tiles).
void sendChunks(RemoteQueue& queue, std::int32_t index, std::span<const std::uint8_t> payload,
                std::int32_t firstOffset, const std::string& trailer)
{
    std::int32_t offset = firstOffset;
    for (std::size_t at = 0; at < payload.size(); at += kImageChunkSize) {
        const auto chunk = payload.subspan(at, std::min(kImageChunkSize, payload.size() - at));
        std::string text = integers({offset, length(chunk)}) + trailer;
        text.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
        sendText(queue, index, std::move(text));
        offset += length(chunk);
    }
}

}  // namespace

void sendImageRecords(RemoteQueue& queue, Payload payload, std::int32_t imageIndex, PixelSize size)
{
    const std::int32_t index = payload.compressed ? kCompressedImageIndex : kRawImageIndex;
    const std::int32_t headerLength = payload.compressed ? 12 : 8;
    std::string header = integers({0, headerLength, imageIndex, size.width, size.height});
    if (payload.compressed)
        header += integers({length(payload.bytes)});
    sendText(queue, index, std::move(header));
    sendChunks(queue, index, payload.bytes, headerLength, integers({imageIndex}));
    sendText(queue, index, integers({-1, 0, imageIndex}));
}

void sendTileRecords(RemoteQueue& queue, Payload payload, const TileArea& tile)
{
    const std::int32_t index = payload.compressed ? kCompressedTileIndex : kRawTileIndex;
    const std::int32_t headerLength = payload.compressed ? 20 : 16;
    std::string header = integers({0, headerLength, tile.x0, tile.y0, tile.width, tile.height});
    if (payload.compressed)
        header += integers({length(payload.bytes)});
    sendText(queue, index, std::move(header));
    sendChunks(queue, index, payload.bytes, headerLength, {});
    sendText(queue, index, integers({-1}));
}

void sendFrameEnd(RemoteQueue& queue, bool anyTileSent)
{
    sendText(queue, kRawImageIndex, integers({anyTileSent ? -1 : -2, 0, -1}));
}

void sendNoImage(RemoteQueue& queue)
{
    sendText(queue, kRawImageIndex, integers({-2, 0, -1}));
}

}  // namespace corvello
