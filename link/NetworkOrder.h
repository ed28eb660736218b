#pragma once
// Values as they lie in memory in network byte order (big-endian), converted
// without OS headers, so portable code needs no htons/ntohl.

#include <cstdint>
#include <cstring>

namespace corvello {

inline std::uint16_t toNetworkOrder16(std::uint16_t value)
{
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    std::uint16_t stored;
    std::memcpy(&stored, bytes, sizeof stored);
    return stored;
}

inline std::uint16_t fromNetworkOrder16(std::uint16_t stored)
{
    std::uint8_t bytes[2];
    std::memcpy(bytes, &stored, sizeof bytes);
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

inline std::uint32_t fromNetworkOrder32(std::uint32_t stored)
{
    std::uint8_t b[4];
    std::memcpy(b, &stored, sizeof b);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

}  // namespace corvello
