#pragma once
// Reading the arguments of desktop commands. The remote sends plain ASCII
// decimals; a malformed argument must never crash or wrap, so every reader
// saturates at the 32-bit range and treats "no digits" as zero, the way the
// remote's own C parsing does.

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvello {

struct IntPair {
    std::int32_t first = 0;
    std::int32_t second = 0;
    friend bool operator==(const IntPair&, const IntPair&) = default;
};

inline constexpr std::size_t kMaxPairLength = 128;

// The argument text: everything before the first zero byte.
std::string_view argumentText(std::string_view recordText);

// Leading blanks, optional sign, digits; stops at the first other character.
std::int32_t readLeadingInt(std::string_view text);

// "x,y": at most 128 characters and a comma; the second number is read just
// after the first comma. Empty when the text is not a pair.
std::optional<IntPair> readPair(std::string_view text);

// A decimal number such as "0.5"; 0 when the text starts with none.
// Non-finite values ("nan", "inf") are refused.
std::optional<float> readDecimal(std::string_view text);

// Float to int32, truncated toward zero, saturating; NaN gives 0.
std::int32_t truncateToInt(float value);

}  // namespace corvello
