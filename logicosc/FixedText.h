#pragma once
// Zero-terminated text in a fixed array, zero-filled after the text: the
// shape of the Logic OSC protocol's remembered strings.

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace corvello {

template <std::size_t N>
using FixedText = std::array<char, N>;

// Cuts `text` to N - 1 characters.
template <std::size_t N>
void assignText(FixedText<N>& field, std::string_view text)
{
    field.fill('\0');
    std::copy_n(text.begin(), std::min(text.size(), N - 1), field.begin());
}

template <std::size_t N>
std::string_view textOf(const FixedText<N>& field)
{
    const void* end = std::memchr(field.data(), '\0', N);
    return {field.data(), end ? static_cast<std::size_t>(static_cast<const char*>(end) - field.data()) : N};
}

}  // namespace corvello
