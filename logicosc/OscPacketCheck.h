#pragma once
// A received datagram checked before oscpack reads it. oscpack trusts parts
// of what it reads: a bundle element of size -4 keeps its bundle parser in an
// endless loop, a blob's size is read and followed without a bound, and
// bundles recurse as deep as the datagram allows. So every datagram is walked
// here first, without following anything it says blindly:
// - a packet, and every bundle element, has a positive size that is a multiple
//   of 4 and lies within what contains it;
// - a bundle starts with "#bundle\0" and an 8-byte time tag, and bundles nest
//   at most kMaxOscBundleDepth deep;
// - a message's address pattern and type tags are OSC strings (terminated,
//   padded with zero bytes to a multiple of 4) within the message, the type
//   tags start with ',' and name only known types, arrays are balanced, and
//   every argument lies within the message.
// A datagram that passes is one oscpack reads without error.

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace corvello {

inline constexpr int kMaxOscBundleDepth = 8;

struct OscPacketFault {
    const char* what;
    std::size_t offset;  // from the start of the datagram
};

// One message of a datagram, as the check found it.
struct CheckedOscMessage {
    std::string_view address;
    std::string_view typeTags;  // without the leading ','; empty when there are none
};

using CheckedOscMessageVisitor = std::function<void(const CheckedOscMessage&)>;

// Nothing when `datagram` is well-formed OSC; otherwise the first fault
// found. `visit`, when given, sees each message in packet order (nested
// bundles where they stand), also those before a fault.
std::optional<OscPacketFault> findOscPacketFault(std::span<const char> datagram,
                                                 const CheckedOscMessageVisitor& visit = {});

}  // namespace corvello
