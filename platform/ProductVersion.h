#pragma once
// The program's own product version: read from the version resource on
// Windows, compiled in elsewhere (both come from the same CMake numbers).

#include <cstdint>
#include <optional>

namespace corvello {

struct ProductVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;
};

// Empty when the module's version block cannot be read.
std::optional<ProductVersion> readProductVersion();

}  // namespace corvello
