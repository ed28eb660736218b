#include "link/LinkOptions.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "link/Socket.h"

namespace corvello {

namespace {

bool isLoopback(std::uint32_t address)
{
    std::uint8_t first = 0;
    std::memcpy(&first, &address, 1);  // network order: the first byte in memory
    return first == 127;
}

// An address of one of this computer's interfaces, and one it can bind: the
// list alone may name an address that is going away, and a bind alone is
// not proof everywhere (Wine binds addresses no interface has).
bool isLocalIPv4(std::uint32_t address)
{
    const std::vector<std::uint32_t> interfaces = net::interfaceAddressesIPv4();
    if (!isLoopback(address) && std::find(interfaces.begin(), interfaces.end(), address) == interfaces.end())
        return false;
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
