#include "logicosc/LogicOscNotation.h"

#include <cctype>
#include <cmath>
#include <limits>

namespace corvello::logicosc {

std::int32_t numberAt(std::string_view address, std::size_t k)
{
    std::size_t i = k;
    auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (i < address.size() && isSpace(address[i]))
        ++i;
    bool negative = false;
    if (i < address.size() && (address[i] == '+' || address[i] == '-'))
        negative = address[i++] == '-';
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (; i < address.size() && std::isdigit(static_cast<unsigned char>(address[i])); ++i)
        magnitude = std::min(magnitude * 10 + (address[i] - '0'), kLimit + 1);
    const std::int64_t value = negative ? -magnitude : std::min(magnitude, kLimit);
    return static_cast<std::int32_t>(value);
}

std::int32_t digitAt(std::string_view address, std::size_t k)
{
    if (k >= address.size() || !std::isdigit(static_cast<unsigned char>(address[k])))
        return 0;
    return address[k] - '0';
}

float meterCurve(float level)
{
    const float dB = 20.0f * std::log10(level);
    double y;
    if (dB >= -20.0f)
        y = dB / 5.0 * 20.0 / 140.0;
    else if (dB >= -40.0f)
        y = (dB + 20.0) / 10.0 * 20.0 / 140.0 - 0.5714285714285714;
    else if (dB >= -60.0f)
        y = (dB + 40.0) / 20.0 * 20.0 / 140.0 - 0.8571428571428571;
    else
        y = -1.0;
    return static_cast<float>(y + 1.0);
}

}  // namespace corvello::logicosc
