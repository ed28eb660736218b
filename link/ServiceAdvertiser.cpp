#include "link/ServiceAdvertiser.h"

#include "link/NetworkOrder.h"

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

}  // namespace corvello
