#pragma once
// Address ranges in CIDR notation ("192.168.0.0/16", "fe80::/10", or one
// address), IPv4 and IPv6 alike. Every address is held in its 16-byte IPv6
// form, an IPv4 address as ::ffff:a.b.c.d, so "10.0.0.0/8" and
// "::ffff:10.0.0.0/104" are the same range and each matches an IPv4 peer.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvello {

using IpAddress = std::array<std::uint8_t, 16>;

// An IPv4 address in network byte order, in its IPv4-mapped form.
IpAddress mappedIPv4(std::uint32_t networkOrder);

class AddressRange {
public:
    // Nothing when `text` is not an address with an optional "/bits" within
    // its family's width. Bits past the prefix are ignored, as routers do.
    static std::optional<AddressRange> parse(const std::string& text);

    bool contains(const IpAddress& address) const;

private:
    AddressRange(const IpAddress& base, int prefixBits);

    IpAddress base_{};
    int prefixBits_ = 0;  // of the 128-bit form
};

// The ranges a link serves: any address inside one of them.
class AddressRanges {
public:
    // Loopback, the private ranges (10/8, 172.16/12, 192.168/16, fc00::/7) and
    // link-local (169.254/16, fe80::/10): the local network and nothing beyond.
    static AddressRanges localNetworks();

    void add(const AddressRange& range) { ranges_.push_back(range); }
    bool empty() const { return ranges_.empty(); }
    bool contains(const IpAddress& address) const;

private:
    std::vector<AddressRange> ranges_;
};

}  // namespace corvello
