#pragma once
// The process-wide memory that window pictures are produced in. Both
// controllers share it, so it is only reachable through a lease that holds
// its lock: one picture is produced at a time. Capacities are fixed; a
// picture that does not fit is refused, never written past the end.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "desktop/ImageCompression.h"

namespace corvello {

inline constexpr std::size_t kCaptureBufferSize = 2'662'492;
inline constexpr std::size_t kThumbnailBufferSize = 90'092;
inline constexpr std::size_t kCompressionBufferSize = 2'662'408;
inline constexpr std::size_t kReferenceFrameSize = 2'662'408;
inline constexpr std::int32_t kTileSide = 64;
inline constexpr std::size_t kTileDifferenceSize = kTileSide * kTileSide * 4;
inline constexpr std::size_t kTileCompressedSize = 16'740;

struct ImageBuffers {
    // The watched window's bitmap file as it is sent.
    std::vector<std::uint8_t> capture = std::vector<std::uint8_t>(kCaptureBufferSize);
    std::vector<std::uint8_t> thumbnail = std::vector<std::uint8_t>(kThumbnailBufferSize);
    std::vector<std::uint8_t> compressed = std::vector<std::uint8_t>(kCompressionBufferSize);
    // The watched window's last picture, its words as captured (the fourth
    // bytes are not sent), row stride = width.
    std::vector<std::uint32_t> reference = std::vector<std::uint32_t>(kReferenceFrameSize / 4);
    // Which controller's watched window `reference` holds; another
    // controller's picture there forces a full image.
    const void* referenceOwner = nullptr;
    std::vector<std::uint32_t> tileDifferences = std::vector<std::uint32_t>(kTileDifferenceSize / 4);
    std::vector<std::uint8_t> tileCompressed = std::vector<std::uint8_t>(kTileCompressedSize);
    ImageCompressor compressor;
};

class ImageBuffersLease {
public:
    ImageBuffers* operator->() const { return buffers; }
    ImageBuffers& operator*() const { return *buffers; }

private:
    friend ImageBuffersLease leaseImageBuffers();
    ImageBuffersLease(std::unique_lock<std::mutex> lock, ImageBuffers& buffers)
        : lock(std::move(lock)), buffers(&buffers)
    {
    }
    std::unique_lock<std::mutex> lock;
    ImageBuffers* buffers;
};

// Blocks until no other picture is being produced.
ImageBuffersLease leaseImageBuffers();

}  // namespace corvello
