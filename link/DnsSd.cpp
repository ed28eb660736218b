#include "link/DnsSd.h"

#include "link/DnsSdPlatform.h"

namespace corvello {

namespace {

using RefSockFDFunction = int (*)(DNSServiceRef);
using ProcessResultFunction = DNSServiceErrorType (*)(DNSServiceRef);
using RefDeallocateFunction = void (*)(DNSServiceRef);
using RegisterFunction = DNSServiceErrorType (*)(DNSServiceRef*, DNSServiceFlags, std::uint32_t, const char*,
                                                 const char*, const char*, const char*, std::uint16_t,
                                                 std::uint16_t, const void*, DNSServiceRegisterReply, void*);
using BrowseFunction = DNSServiceErrorType (*)(DNSServiceRef*, DNSServiceFlags, std::uint32_t, const char*,
                                               const char*, DNSServiceBrowseReply, void*);
using ResolveFunction = DNSServiceErrorType (*)(DNSServiceRef*, DNSServiceFlags, std::uint32_t, const char*,
                                                const char*, const char*, DNSServiceResolveReply, void*);

}  // namespace

bool DnsSdLibrary::load() { return load(dnssd_platform::defaultLibraryName()); }

bool DnsSdLibrary::load(const char* libraryName)
{
    release();
    library_ = dnssd_platform::openLibrary(libraryName);
    return isLoaded();
}

void DnsSdLibrary::release()
{
    if (void* library = library_.exchange(nullptr))
        dnssd_platform::closeLibrary(library);
    for (auto* cache : {&refSockFD_, &processResult_, &refDeallocate_, &register_, &browse_, &resolve_})
        *cache = nullptr;
}

template <typename Function>
Function DnsSdLibrary::entry(std::atomic<void*>& cache, const char* name)
{
    void* library = library_.load();
    if (!library) {
        cache = nullptr;
        return nullptr;
    }
    void* function = cache.load();
    if (!function) {
        function = dnssd_platform::findEntryPoint(library, name);
        cache = function;
    }
    return reinterpret_cast<Function>(function);
}

int DnsSdLibrary::refSockFD(DNSServiceRef ref)
{
    auto function = entry<RefSockFDFunction>(refSockFD_, "DNSServiceRefSockFD");
    return function ? function(ref) : -1;
}

DNSServiceErrorType DnsSdLibrary::processResult(DNSServiceRef ref)
{
    auto function = entry<ProcessResultFunction>(processResult_, "DNSServiceProcessResult");
    return function ? function(ref) : kDNSServiceErr_Unknown;
}

void DnsSdLibrary::refDeallocate(DNSServiceRef ref)
{
    if (auto function = entry<RefDeallocateFunction>(refDeallocate_, "DNSServiceRefDeallocate"))
        function(ref);
}

DNSServiceErrorType DnsSdLibrary::registerService(DNSServiceRef* ref, DNSServiceFlags flags,
                                                  std::uint32_t interfaceIndex, const char* name,
                                                  const char* regtype, const char* domain, const char* host,
                                                  std::uint16_t portInNetworkOrder, std::uint16_t txtLen,
                                                  const void* txtRecord, DNSServiceRegisterReply callback,
                                                  void* context)
{
    auto function = entry<RegisterFunction>(register_, "DNSServiceRegister");
    return function ? function(ref, flags, interfaceIndex, name, regtype, domain, host, portInNetworkOrder, txtLen,
                               txtRecord, callback, context)
                    : kDNSServiceErr_Unknown;
}

DNSServiceErrorType DnsSdLibrary::browse(DNSServiceRef* ref, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                         const char* regtype, const char* domain, DNSServiceBrowseReply callback,
                                         void* context)
{
    auto function = entry<BrowseFunction>(browse_, "DNSServiceBrowse");
    return function ? function(ref, flags, interfaceIndex, regtype, domain, callback, context)
                    : kDNSServiceErr_Unknown;
}

DNSServiceErrorType DnsSdLibrary::resolve(DNSServiceRef* ref, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                          const char* name, const char* regtype, const char* domain,
                                          DNSServiceResolveReply callback, void* context)
{
    auto function = entry<ResolveFunction>(resolve_, "DNSServiceResolve");
    return function ? function(ref, flags, interfaceIndex, name, regtype, domain, callback, context)
                    : kDNSServiceErr_Unknown;
}

DnsSdLibrary& dnssd()
{
    static DnsSdLibrary library;
    return library;
}

}  // namespace corvello
