#include "desktop/ImageCompression.h"

#include <zlib.h>

#include <limits>

namespace corvello {

ImageCompressor::ImageCompressor(int level) : stream(std::make_unique<z_stream_s>())
{
    *stream = {};
    ready = deflateInit(stream.get(), level) == Z_OK;
}

ImageCompressor::~ImageCompressor()
{
    if (ready)
        deflateEnd(stream.get());
}

std::optional<std::span<const std::uint8_t>> ImageCompressor::compress(
    std::initializer_list<std::span<const std::uint8_t>> pieces, std::span<std::uint8_t> output)
{
    constexpr std::size_t kMaxRun = std::numeric_limits<uInt>::max();
    if (!ready || pieces.size() == 0 || output.size() > kMaxRun || deflateReset(stream.get()) != Z_OK)
        return std::nullopt;
    stream->next_out = output.data();
    stream->avail_out = static_cast<uInt>(output.size());
    std::size_t index = 0;
    for (std::span<const std::uint8_t> piece : pieces) {
        const bool last = ++index == pieces.size();
        if (piece.size() > kMaxRun)
            return std::nullopt;
        if (piece.empty() && !last)
            continue;
        stream->next_in = const_cast<Bytef*>(piece.data());  // zlib's API is not const-correct
        stream->avail_in = static_cast<uInt>(piece.size());
        const int status = deflate(stream.get(), last ? Z_FINISH : Z_NO_FLUSH);
        const bool done = last ? status == Z_STREAM_END : status == Z_OK && stream->avail_in == 0;
        if (!done)
            return std::nullopt;  // out of room, or zlib failed
    }
    return std::span<const std::uint8_t>(output.first(stream->total_out));
}

}  // namespace corvello
