#pragma once
// The platform's DNS-SD client library (dnssd.dll on Windows, Avahi's
// libdns_sd.so.1 on Linux), bound at run time by name. When the library or
// one of its entry points is missing, every call fails the way the public
// DNS-SD client interface reports an unknown error, and nothing else happens:
// the service is then neither advertised nor found.

#include <atomic>
#include <cstdint>

namespace corvello {

// The public DNS-SD client interface's types. Its calling convention is
// __stdcall on Windows, which on x86-64, the only Windows target, is the
// platform's one convention, so no annotation is needed.
// Opaque: only the library knows what a reference points at.
struct DNSServiceOpaque;
using DNSServiceRef = DNSServiceOpaque*;
using DNSServiceFlags = std::uint32_t;
using DNSServiceErrorType = std::int32_t;

inline constexpr DNSServiceErrorType kDNSServiceErr_NoError = 0;
inline constexpr DNSServiceErrorType kDNSServiceErr_Unknown = -65537;
inline constexpr DNSServiceFlags kDNSServiceFlagsAdd = 0x2;

using DNSServiceRegisterReply = void (*)(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType, const char* name,
                                         const char* regtype, const char* domain, void* context);
using DNSServiceBrowseReply = void (*)(DNSServiceRef, DNSServiceFlags, std::uint32_t interfaceIndex,
                                       DNSServiceErrorType, const char* serviceName, const char* regtype,
                                       const char* replyDomain, void* context);
// `port` is in network byte order.
using DNSServiceResolveReply = void (*)(DNSServiceRef, DNSServiceFlags, std::uint32_t interfaceIndex,
                                        DNSServiceErrorType, const char* fullname, const char* hosttarget,
                                        std::uint16_t port, std::uint16_t txtLen, const unsigned char* txtRecord,
                                        void* context);

class DnsSdLibrary {
public:
    DnsSdLibrary() = default;
    ~DnsSdLibrary() { release(); }
    DnsSdLibrary(const DnsSdLibrary&) = delete;
    DnsSdLibrary& operator=(const DnsSdLibrary&) = delete;

    // Loads the platform's library (or, for tests, the one named); a missing
    // library leaves the binding empty. Returns whether it is loaded.
    bool load();
    bool load(const char* libraryName);
    void release();
    bool isLoaded() const { return library_.load() != nullptr; }

    // Each returns what the library function of the same name returns; with
    // no library: -1, kDNSServiceErr_Unknown, nothing, and Unknown thrice.
    int refSockFD(DNSServiceRef ref);
    DNSServiceErrorType processResult(DNSServiceRef ref);
    void refDeallocate(DNSServiceRef ref);
    DNSServiceErrorType registerService(DNSServiceRef* ref, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                        const char* name, const char* regtype, const char* domain,
                                        const char* host, std::uint16_t portInNetworkOrder, std::uint16_t txtLen,
                                        const void* txtRecord, DNSServiceRegisterReply callback, void* context);
    DNSServiceErrorType browse(DNSServiceRef* ref, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                               const char* regtype, const char* domain, DNSServiceBrowseReply callback,
                               void* context);
    DNSServiceErrorType resolve(DNSServiceRef* ref, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                const char* name, const char* regtype, const char* domain,
                                DNSServiceResolveReply callback, void* context);

private:
    // The entry point `name`, found on first use and cached; null (and the
    // cache cleared) while no library is loaded.
    template <typename Function>
    Function entry(std::atomic<void*>& cache, const char* name);

    std::atomic<void*> library_{nullptr};
    std::atomic<void*> refSockFD_{nullptr};
    std::atomic<void*> processResult_{nullptr};
    std::atomic<void*> refDeallocate_{nullptr};
    std::atomic<void*> register_{nullptr};
    std::atomic<void*> browse_{nullptr};
    std::atomic<void*> resolve_{nullptr};
};

// The process-wide binding: loaded at program start, released at exit.
DnsSdLibrary& dnssd();

}  // namespace corvello
