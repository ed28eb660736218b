#pragma once
// How the Logic OSC vocabulary packs numbers into addresses, and the meter
// curve it is read with. All readers stop at the end of the address.

#include <cstdint>
#include <string_view>

namespace corvello::logicosc {

// The decimal integer at position k: optional white space and sign, then
// digits up to the first other character; 0 when no digit follows. Saturates
// at the 32-bit range instead of overflowing.
std::int32_t numberAt(std::string_view address, std::size_t k);

// The single digit at position k; 0 when there is none.
std::int32_t digitAt(std::string_view address, std::size_t k);

// The meter curve: linear level to the remote's meter scale (0 dB gives 1.0,
// -20 dB 3/7, -40 dB 1/7, -60 dB and below 0).
float meterCurve(float level);

// The first `count` characters of s, or all of s when it is shorter.
inline std::string_view firstChars(std::string_view s, std::size_t count) { return s.substr(0, count); }

// s up to its first " dB", or all of s when it holds none.
inline std::string_view cutBeforeDecibels(std::string_view s) { return s.substr(0, s.find(" dB")); }

}  // namespace corvello::logicosc
