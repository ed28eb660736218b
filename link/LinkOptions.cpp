#include "link/LinkOptions.h"

#include <cstring>

#include "link/Socket.h"

namespace corvello {

namespace {

// Only an address one of this computer's interfaces has can be bound.
bool isLocalIPv4(std::uint32_t address)
{
    net::SocketHandle probe = net::openUdpSocket();
    const bool bound = probe != net::kNoSocket && net::bindToSystemPort(probe, address);
    net::closeSocket(probe);
    return bound;
}

}  // namespace

std::optional<AddressRange> parseAllowedRange(const std::string& value, std::string& error)
{
    std::optional<AddressRange> range = AddressRange::parse(value);
    if (!range)
        error = "not an address range (CIDR, such as 192.168.1.0/24 or fe80::/10)";
    return range;
}

std::optional<std::uint32_t> parseListenAddress(const std::string& value, std::string& error)
{
    // The link speaks IPv4 only, as the remote does.
    IpAddress bytes{};
    if (!net::parseNumericAddress(value, bytes) || value.find(':') != std::string::npos) {
        error = "not an IPv4 address";
        return std::nullopt;
    }
    std::uint32_t address = 0;
    std::memcpy(&address, bytes.data() + 12, sizeof address);
    net::startSockets();
    if (!isLocalIPv4(address)) {
        error = "not an address of this computer";
        return std::nullopt;
    }
    return address;
}

}  // namespace corvello
