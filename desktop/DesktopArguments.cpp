#include "desktop/DesktopArguments.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace corvello {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view skipBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

}  // namespace

std::string_view argumentText(std::string_view recordText)
{
    return recordText.substr(0, recordText.find('\0'));
}

std::int32_t readLeadingInt(std::string_view text)
{
    text = skipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        magnitude = std::min<std::int64_t>(magnitude * 10 + (c - '0'), kLimit);
    }
    const std::int64_t value = negative ? -magnitude : std::min<std::int64_t>(magnitude, kLimit - 1);
    return static_cast<std::int32_t>(value);
}

std::optional<IntPair> readPair(std::string_view text)
{
    const auto comma = text.find(',');
    if (text.size() > kMaxPairLength || comma == std::string_view::npos)
        return std::nullopt;
    return IntPair{readLeadingInt(text), readLeadingInt(text.substr(comma + 1))};
}

std::optional<float> readDecimal(std::string_view text)
{
    text = skipBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    float value = 0.0f;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::invalid_argument)
        return 0.0f;
    if (result.ec == std::errc::result_out_of_range || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::int32_t truncateToInt(float value)
{
    if (std::isnan(value))
        return 0;
    constexpr float kUpper = 2147483648.0f;  // 2^31, first value above the range
    if (value >= kUpper)
        return std::numeric_limits<std::int32_t>::max();
    if (value < -kUpper)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

}  // namespace corvello
