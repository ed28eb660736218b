#include "link/LinkOptions.h"

#include <cstring>

namespace corvello {

namespace {

bool readAllow(const std::string& value, LinkSettings& settings, std::string& error)
{
    std::optional<AddressRange> range = AddressRange::parse(value);
    if (!range) {
        error = "--allow " + value + ": not an address range (CIDR, such as 192.168.1.0/24 or fe80::/10)";
        return false;
    }
    settings.allowed.add(*range);
    return true;
}

// Only an address one of this computer's interfaces has can be bound.
bool isLocalIPv4(std::uint32_t address)
{
    net::SocketHandle probe = net::openUdpSocket();
    const bool bound = probe != net::kNoSocket && net::bindToSystemPort(probe, address);
    net::closeSocket(probe);
    return bound;
}

bool readListen(const std::string& value, LinkSettings& settings, std::string& error)
{
    // The link speaks IPv4 only, as the remote does.
    IpAddress bytes{};
    if (!net::parseNumericAddress(value, bytes) || value.find(':') != std::string::npos) {
        error = "--listen " + value + ": not an IPv4 address";
        return false;
    }
    std::uint32_t address = 0;
    std::memcpy(&address, bytes.data() + 12, sizeof address);
    if (!isLocalIPv4(address)) {
        error = "--listen " + value + ": not an address of this computer";
        return false;
    }
    settings.listenAddress = address;
    return true;
}

}  // namespace

bool readLinkOptions(int argc, const char* const* argv, LinkSettings& settings, std::vector<std::string>& others,
                     std::string& error)
{
    net::startSockets();
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        const std::size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name != "--allow" && name != "--listen") {
            others.emplace_back(argv[i]);
            continue;
        }
        if (equals == std::string::npos) {
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!(name == "--allow" ? readAllow(value, settings, error) : readListen(value, settings, error)))
            return false;
    }
    return true;
}

}  // namespace corvello
