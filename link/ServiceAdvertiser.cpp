#include "link/ServiceAdvertiser.h"

#include <string>
#include <vector>

#include "link/NetworkOrder.h"
#include "link/Socket.h"
#include "platform/Log.h"

namespace corvello {

DNSServiceRef advertiseService(const char* type, std::uint16_t port)
{
    DNSServiceRef ref = nullptr;
    // A null name means "this computer's name": Avahi refuses the empty name
    // that other implementations take in the same sense.
    const DNSServiceErrorType result = dnssd().registerService(
        &ref, 0, 0, nullptr, type, nullptr, nullptr, toNetworkOrder16(port), 0, "", nullptr, nullptr);
    return result == kDNSServiceErr_NoError ? ref : nullptr;
}

namespace {

std::string addressesByHand(std::uint32_t listenAddress)
{
    std::vector<std::uint32_t> addresses{listenAddress};
    if (listenAddress == net::kAnyAddress)
        addresses = net::interfaceAddressesIPv4();
    std::string text;
    for (std::uint32_t address : addresses)
        text += (text.empty() ? "" : ", ") + net::formatIPv4(address);
    return text;
}

}  // namespace

DNSServiceRef announceRemoteLink(std::uint16_t port, std::uint32_t listenAddress)
{
    if (DNSServiceRef ref = advertiseRemoteLink(port))
        return ref;
    const std::string addresses = addressesByHand(listenAddress);
    log::warning("DNS-SD: the service daemon cannot be reached, so the remote will not find Corvello by itself.");
    if (addresses.empty())
        log::warning("DNS-SD: this computer has no network address besides loopback for the remote to use.");
    else
        log::warning("DNS-SD: point the remote at %s, port %u.", addresses.c_str(), unsigned{port});
    return nullptr;
}

}  // namespace corvello
