#include "tools/pipeclient/HexLine.h"

namespace corvello {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

std::string formatHexLine(const std::uint8_t* bytes, std::size_t length)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string line;
    for (std::size_t i = 0; i < length; ++i) {
        if (i != 0)
            line.push_back(' ');
        line.push_back(digits[bytes[i] >> 4]);
        line.push_back(digits[bytes[i] & 0x0F]);
    }
    return line;
}

std::optional<std::vector<std::uint8_t>> parseHexLine(std::string_view line)
{
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < line.size()) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        if (i + 1 >= line.size())
            return std::nullopt;
        const int high = hexValue(line[i]);
        const int low = hexValue(line[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
        i += 2;
    }
    return bytes;
}

}  // namespace corvello
