#pragma once
// Conversions between record values and MIDI data bytes shared by the
// MIDI-carried protocols. Every conversion truncates toward zero; values the
// remote could send out of range (or NaN) are bounded here so that no data
// byte ever gets its top bit and turns into a status byte on the wire.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace corvello::midivalues {

inline constexpr int kDataMax = 0x7F;
inline constexpr int kFourteenBitMax = 0x3FFF;
// Relative (step) encodings carry the direction in bit 6 and the size below it.
inline constexpr int kStepSignBit = 0x40;
inline constexpr int kStepMagnitudeMax = 0x3F;

// base + index as a data byte, or -1 (never a data byte) when the index lies
// outside 0..127, so that a huge index cannot overflow into a valid-looking byte.
inline int offsetDataByte(int base, std::int32_t index)
{
    return (index >= 0 && index <= kDataMax) ? base + static_cast<int>(index) : -1;
}

// NaN counts as not positive.
inline bool isPositive(float value) { return value > 0.0f; }

// trunc(value), NaN as 0, saturated to [low, high].
inline int truncatedWithin(float value, int low, int high)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(value), static_cast<float>(low), static_cast<float>(high)));
}

// A 0..1 position as 14 bits. Positions outside 0..1 are clamped: the remote
// never sends them, and unclamped they would overflow the two data bytes.
inline int fourteenBitPosition(float value) { return truncatedWithin(value * kFourteenBitMax, 0, kFourteenBitMax); }

// A 0..1 fraction as 7 bits.
inline int sevenBitFraction(float value) { return truncatedWithin(value * kDataMax, 0, kDataMax); }

// The size of a signed step, without its direction; steps larger than the
// encoding holds are sent as the largest step.
inline int stepMagnitude(float value) { return truncatedWithin(std::fabs(value), 0, kStepMagnitudeMax); }

// The V-Pot LED ring as the remote shows it: 0 when no lamp is lit, else
// 11000 + 100 for the centre lamp + 10 x mode + position / (6 in spread mode, else 11).
inline float ringCode(std::uint8_t data)
{
    const int position = data & 0x0F;
    if (position == 0)
        return 0.0f;
    const int mode = (data >> 4) & 3;
    const int centre = (data & 0x40) ? 100 : 0;
    const float divisor = (mode == 3) ? 6.0f : 11.0f;
    return static_cast<float>(11000 + centre + 10 * mode) + static_cast<float>(position) / divisor;
}

}  // namespace corvello::midivalues
