#pragma once
// zlib one-shot compression at the default level, into a fixed area.

#include <cstdint>
#include <optional>
#include <span>

namespace corvello {

// The compressed bytes inside `output`; empty when zlib fails or the result
// does not fit, in which case the caller sends the input as it is.
std::optional<std::span<const std::uint8_t>> compressInto(std::span<const std::uint8_t> input,
                                                          std::span<std::uint8_t> output);

}  // namespace corvello
