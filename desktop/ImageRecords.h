#pragma once
// The kind-210 records that carry pictures to the remote. Every record's text
// is a run of little-endian 32-bit integers, then raw bytes where a chunk is
// carried. Payloads are cut into chunks of at most 1004 bytes so that one
// data record fills one 1024-byte link packet exactly.

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/RemoteQueue.h"
#include "desktop/DesktopServices.h"

namespace corvello {

inline constexpr std::size_t kImageChunkSize = 1004;

// Record indexes of the picture stream.
inline constexpr std::int32_t kRawImageIndex = 19;
inline constexpr std::int32_t kRawTileIndex = 20;
inline constexpr std::int32_t kCompressedImageIndex = 21;
inline constexpr std::int32_t kCompressedTileIndex = 22;

// Image index of the watched window; thumbnails use 0 to 19.
inline constexpr std::int32_t kWatchedImage = -1;

struct Payload {
    std::span<const std::uint8_t> bytes;
    bool compressed = false;
};

struct TileArea {
    std::int32_t x0 = 0;
    std::int32_t y0 = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Header, data chunks and end record of one picture.
void sendImageRecords(RemoteQueue& queue, Payload payload, std::int32_t imageIndex, PixelSize size);
// Header, data chunks and end record of one tile of differences.
void sendTileRecords(RemoteQueue& queue, Payload payload, const TileArea& tile);
// Closes a round of tiles; tells the remote whether anything changed.
void sendFrameEnd(RemoteQueue& queue, bool anyTileSent);
// Answers a picture request for a window that is not in front.
void sendNoImage(RemoteQueue& queue);

}  // namespace corvello
