#include "tools/remote/RecordText.h"

#include <charconv>
#include <cmath>

namespace corvello::remote {

namespace {

constexpr std::string_view kHexPrefix = "hex:";
constexpr char kHexDigits[] = "0123456789abcdef";

bool isPrintableAscii(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

std::string toHex(const std::string& bytes)
{
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kHexDigits[c >> 4];
        hex += kHexDigits[c & 0x0F];
    }
    return hex;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool fromHex(std::string_view hex, std::string& bytes)
{
    if (hex.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int high = hexDigitValue(hex[i]);
        int low = hexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes += static_cast<char>(high << 4 | low);
    }
    return true;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// Splits off the next blank-separated word.
std::string_view nextWord(std::string_view& rest)
{
    rest = trim(rest);
    std::size_t end = rest.find_first_of(" \t");
    std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    return word;
}

template <typename Number>
bool readNumber(std::string_view word, Number& number)
{
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
    return error == std::errc{} && end == word.data() + word.size();
}

bool readPayload(std::string_view payload, MessageRecord& record, std::string& error)
{
    if (payload.starts_with('"')) {
        if (payload.size() < 2 || !payload.ends_with('"')) {
            error = "text must end with a quote";
            return false;
        }
        record.text = std::string(payload.substr(1, payload.size() - 2));
        return true;
    }
    if (payload.starts_with(kHexPrefix)) {
        if (!fromHex(payload.substr(kHexPrefix.size()), record.text)) {
            error = "hex text needs pairs of hex digits";
            return false;
        }
        return true;
    }
    if (!readNumber(payload, record.value) || !std::isfinite(record.value)) {
        error = "value must be a number, \"text\" or hex:BYTES";
        return false;
    }
    return true;
}

}  // namespace

std::string formatRecord(RemoteLink::Channel channel, const MessageRecord& record)
{
    std::string line = channel == RemoteLink::Channel::Main ? "main " : "metering ";
    line += std::to_string(record.kind) + ' ' + std::to_string(record.index) + ' ';
    if (record.text.empty()) {
        char value[32];
        auto [end, error] = std::to_chars(value, value + sizeof value, record.value);
        line.append(value, end);
    } else if (isPrintableAscii(record.text)) {
        line += '"' + record.text + '"';
    } else {
        line += std::string(kHexPrefix) + toHex(record.text);
    }
    return line;
}

bool parseScriptLine(std::string_view line, ScriptLine& parsed, std::string& error)
{
    parsed = {};
    std::string_view rest = trim(line);
    if (rest.empty() || rest.starts_with('#'))
        return true;
    std::string_view word = nextWord(rest);
    if (word == "wait") {
        parsed.type = ScriptLine::Type::Wait;
        if (readNumber(nextWord(rest), parsed.waitMs) && parsed.waitMs >= 0 && trim(rest).empty())
            return true;
        error = "wait takes a number of milliseconds";
        return false;
    }
    if (word == "main" || word == "metering") {
        parsed.channel = word == "main" ? RemoteLink::Channel::Main : RemoteLink::Channel::Metering;
        word = nextWord(rest);
    }
    parsed.type = ScriptLine::Type::Record;
    parsed.record = {};
    if (!readNumber(word, parsed.record.kind) || !readNumber(nextWord(rest), parsed.record.index)) {
        error = "expected [main|metering] KIND INDEX VALUE";
        return false;
    }
    std::string_view payload = trim(rest);
    if (payload.empty()) {
        error = "missing value";
        return false;
    }
    return readPayload(payload, parsed.record, error);
}

}  // namespace corvello::remote
