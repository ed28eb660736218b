#pragma once
// Hex text for MIDI bytes, one message per line ("90 3C 7F").

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvello {

// Upper-case byte pairs separated by single blanks.
std::string formatHexLine(const std::uint8_t* bytes, std::size_t length);

// Blank-separated groups of hex digit pairs ("90 3C 7F", "903C7F"); nothing
// when a character is not a hex digit or a group has an odd count.
std::optional<std::vector<std::uint8_t>> parseHexLine(std::string_view line);

}  // namespace corvello
