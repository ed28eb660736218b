#include "desktop/ImageCompression.h"

#include <zlib.h>

namespace corvello {

std::optional<std::span<const std::uint8_t>> compressInto(std::span<const std::uint8_t> input,
                                                          std::span<std::uint8_t> output)
{
    uLongf outputLength = static_cast<uLongf>(output.size());
    if (compress(output.data(), &outputLength, input.data(), static_cast<uLong>(input.size())) != Z_OK)
        return std::nullopt;
    return std::span<const std::uint8_t>(output.first(outputLength));
}

}  // namespace corvello
