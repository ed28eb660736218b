#include "link/AddressRange.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "link/Socket.h"

namespace corvello {

namespace {

constexpr int kMappedPrefixBits = 96;  // ::ffff:0:0/96 holds every IPv4 address

bool isMappedIPv4(const IpAddress& address)
{
    static constexpr std::array<std::uint8_t, 12> kPrefix{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return std::equal(kPrefix.begin(), kPrefix.end(), address.begin());
}

std::optional<int> readBits(const std::string& text)
{
    int bits = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bits);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return bits;
}

}  // namespace

IpAddress mappedIPv4(std::uint32_t networkOrder)
{
    IpAddress address{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    std::memcpy(address.data() + 12, &networkOrder, sizeof networkOrder);
    return address;
}

AddressRange::AddressRange(const IpAddress& base, int prefixBits) : base_(base), prefixBits_(prefixBits) {}

std::optional<AddressRange> AddressRange::parse(const std::string& text)
{
    const std::size_t slash = text.find('/');
    IpAddress base;
    if (!net::parseNumericAddress(text.substr(0, slash), base))
        return std::nullopt;
    const bool ipv4 = isMappedIPv4(base) && text.find(':') == std::string::npos;
    const int width = ipv4 ? 32 : 128;
    std::optional<int> bits = width;
    if (slash != std::string::npos)
        bits = readBits(text.substr(slash + 1));
    if (!bits || *bits < 0 || *bits > width)
        return std::nullopt;
    return AddressRange(base, ipv4 ? kMappedPrefixBits + *bits : *bits);
}

bool AddressRange::contains(const IpAddress& address) const
{
    const int wholeBytes = prefixBits_ / 8;
    if (!std::equal(base_.begin(), base_.begin() + wholeBytes, address.begin()))
        return false;
    const int restBits = prefixBits_ % 8;
    if (restBits == 0)
        return true;
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - restBits));
    return (base_[wholeBytes] & mask) == (address[wholeBytes] & mask);
}

AddressRanges AddressRanges::localNetworks()
{
    AddressRanges local;
    for (const char* text : {"127.0.0.0/8", "::1/128", "10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16", "fc00::/7",
                             "169.254.0.0/16", "fe80::/10"})
        local.add(*AddressRange::parse(text));
    return local;
}

bool AddressRanges::contains(const IpAddress& address) const
{
    for (const AddressRange& range : ranges_)
        if (range.contains(address))
            return true;
    return false;
}

}  // namespace corvello
