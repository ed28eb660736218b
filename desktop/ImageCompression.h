#pragma once
// zlib compression of pictures into a fixed area. One stream is kept and
// reset for every picture or tile, so no picture pays for zlib's set-up.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

struct z_stream_s;

namespace corvello {

// Chosen by measurement (bench/PictureBench.cpp, docs/desktop.md): on the
// bench window level 3 takes about half the default level's time for output
// under twice its size, while levels 1 and 2 are barely faster and up to 2.5
// times larger. Every level decompresses the same.
inline constexpr int kPictureCompressionLevel = 3;

class ImageCompressor {
public:
    explicit ImageCompressor(int level = kPictureCompressionLevel);
    ~ImageCompressor();
    ImageCompressor(const ImageCompressor&) = delete;
    ImageCompressor& operator=(const ImageCompressor&) = delete;

    // The compressed bytes inside `output`; empty when zlib fails or the
    // result does not fit, in which case the caller sends the input as it is.
    std::optional<std::span<const std::uint8_t>> compress(std::span<const std::uint8_t> input,
                                                          std::span<std::uint8_t> output);

private:
    std::unique_ptr<z_stream_s> stream;
    bool ready = false;
};

}  // namespace corvello
