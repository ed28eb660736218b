#pragma once
// The version handshake with the remote: a 16-bit code from the product
// version, and the rule that says whether two codes are compatible.

#include <cstdint>

namespace corvello {

// ((((minor - major * 32) * 32) + build) * 32), kept to 16 bits.
std::int16_t versionCode(std::uint16_t major, std::uint16_t minor, std::uint16_t build);
// The program's own code; 0 when its version resource cannot be read.
std::int16_t ownVersionCode();
// Bits 5 to 22 must agree; the low five bits are ignored.
bool versionsCompatible(std::int32_t own, std::int32_t remote);

}  // namespace corvello
