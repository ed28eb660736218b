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

std::optional<std::span<const std::uint8_t>> ImageCompressor::compress(std::span<const std::uint8_t> input,
                                                                       std::span<std::uint8_t> output)
{
    constexpr std::size_t kMaxRun = std::numeric_limits<uInt>::max();
    if (!ready || input.size() > kMaxRun || output.size() > kMaxRun || deflateReset(stream.get()) != Z_OK)
        return std::nullopt;
    stream->next_in = const_cast<Bytef*>(input.data());  // zlib's API is not const-correct
    stream->avail_in = static_cast<uInt>(input.size());
    stream->next_out = output.data();
    stream->avail_out = static_cast<uInt>(output.size());
    if (deflate(stream.get(), Z_FINISH) != Z_STREAM_END)
        return std::nullopt;  // out of room, or zlib failed
    return std::span<const std::uint8_t>(output.first(stream->total_out));
}

}  // namespace corvello
