#pragma once
// The unit of traffic with an OSC peer: an address and one float or string argument.

#include <cstddef>
#include <cstring>
#include <string_view>

namespace corvello {

struct OscRecord {
    static constexpr std::size_t kFieldSize = 64;  // 63 characters and the terminator

    char address[kFieldSize] = {};
    float value = 0.0f;  // 0 when the argument was a string
    char text[kFieldSize] = {};

    // Both return false, leaving the field untouched, when the text does not fit.
    bool setAddress(std::string_view s) { return copyField(address, s); }
    bool setText(std::string_view s) { return copyField(text, s); }

    // The fields as text, up to the terminator or the field's end.
    std::string_view addressView() const { return fieldView(address); }
    std::string_view textView() const { return fieldView(text); }

private:
    static std::string_view fieldView(const char (&field)[kFieldSize])
    {
        const void* end = std::memchr(field, '\0', kFieldSize);
        return {field, end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : kFieldSize};
    }
    static bool copyField(char (&field)[kFieldSize], std::string_view s)
    {
        if (s.size() >= kFieldSize)
            return false;
        s.copy(field, s.size());  // memcpy from an empty view's null data would be undefined
        field[s.size()] = '\0';
        return true;
    }
};

}  // namespace corvello
