#pragma once
// Byte-order helpers: records and pixels are little-endian on the wire,
// whatever the host, and pixel areas need not be aligned.

#include <cstdint>

namespace corvello {

inline void storeLE16(std::uint8_t* out, std::uint32_t value)
{
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void storeLE32(std::uint8_t* out, std::uint32_t value)
{
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
    out[2] = static_cast<std::uint8_t>(value >> 16);
    out[3] = static_cast<std::uint8_t>(value >> 24);
}

inline std::uint32_t loadLE32(const std::uint8_t* in)
{
    return std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
           std::uint32_t{in[3]} << 24;
}

}  // namespace corvello
