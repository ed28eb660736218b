#pragma once
// The link's settings as text, whether from the command line or the settings
// file: an address range to serve ("allow", CIDR) and the one address to
// listen on ("listen", an IPv4 address of this computer).

#include <cstdint>
#include <optional>
#include <string>

#include "link/AddressRange.h"

namespace corvello {

// Nothing, with `error` saying what is wrong with the value, when `value` is
// not an address range.
std::optional<AddressRange> parseAllowedRange(const std::string& value, std::string& error);

// The address in network byte order; nothing, with `error` saying why, when
// `value` is not an IPv4 address or not one this computer can listen on.
std::optional<std::uint32_t> parseListenAddress(const std::string& value, std::string& error);

}  // namespace corvello
