#pragma once
// DNS-SD registrations of this program's services, under this computer's name
// in the default domain, with an empty text record.

#include <cstdint>

#include "link/DnsSd.h"

namespace corvello {

inline constexpr const char* kRemoteLinkServiceType = "_tamberlin._tcp";
inline constexpr const char* kOscReceiverServiceType = "_osc._udp";

// Registers `type` on `port` (host byte order). Returns the registration,
// which lasts until released with dnssd().refDeallocate or the process ends;
// null when nothing was registered (no library, or the library refused).
DNSServiceRef advertiseService(const char* type, std::uint16_t port);

// The remote link's TCP port, for the remote application to find.
inline DNSServiceRef advertiseRemoteLink(std::uint16_t port)
{
    return advertiseService(kRemoteLinkServiceType, port);
}

// Advertises the remote link; when DNS-SD cannot be reached, says so once on
// stderr with the addresses and port the remote can be pointed at by hand:
// `listenAddress` if the link listens on one address, else every interface
// address but loopback.
DNSServiceRef announceRemoteLink(std::uint16_t port, std::uint32_t listenAddress);

}  // namespace corvello
