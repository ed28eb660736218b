// A stand-in dnssd.dll for the Windows tests under Wine, which has no DNS-SD
// service: the six functions of the public client interface over an
// in-process table of services, plus three calls with which a test
// publishes and withdraws services and looks at registrations. Each
// reference owns a loopback UDP socket that becomes readable while it has
// replies waiting, so the caller's wait-then-process loop runs for real.

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/DnsSd.h"

struct corvello::DNSServiceOpaque {
    SOCKET socket = INVALID_SOCKET;
    std::string type;            // browsing and registering references
    std::string registeredName;  // registering references only
    corvello::DNSServiceBrowseReply browseReply = nullptr;
    void* context = nullptr;
    std::deque<std::function<void()>> replies;
};

namespace {

using corvello::DNSServiceRef;

struct Service {
    std::string name, type, host;
    std::uint16_t port;
};

struct Registration {
    std::string type;
    std::uint16_t port;
};

std::mutex tableMutex;
std::vector<Service> services;
std::vector<Registration> registrations;
std::vector<DNSServiceRef> browsers;

DNSServiceRef newReference()
{
    static WSADATA data;
    static const int started = WSAStartup(MAKEWORD(2, 2), &data);
    (void)started;
    auto* ref = new corvello::DNSServiceOpaque;
    ref->socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(ref->socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return ref;
}

// Queues a reply and makes the reference's socket readable. Table lock held.
void queueReply(DNSServiceRef ref, std::function<void()> reply)
{
    ref->replies.push_back(std::move(reply));
    sockaddr_in self{};
    int length = sizeof self;
    getsockname(ref->socket, reinterpret_cast<sockaddr*>(&self), &length);
    sendto(ref->socket, "!", 1, 0, reinterpret_cast<sockaddr*>(&self), sizeof self);
}

void queueBrowseReply(DNSServiceRef browser, const Service& service, bool added)
{
    queueReply(browser, [browser, name = service.name, type = service.type, added] {
        browser->browseReply(browser, added ? corvello::kDNSServiceFlagsAdd : 0, 0, 0, name.c_str(), type.c_str(),
                             "local.", browser->context);
    });
}

void publishLocked(Service service)
{
    services.push_back(std::move(service));
    for (DNSServiceRef browser : browsers)
        if (browser->type == services.back().type)
            queueBrowseReply(browser, services.back(), true);
}

void withdrawLocked(const std::string& name, const std::string& type)
{
    auto found = std::find_if(services.begin(), services.end(),
                              [&](const Service& s) { return s.name == name && s.type == type; });
    if (found == services.end())
        return;
    for (DNSServiceRef browser : browsers)
        if (browser->type == type)
            queueBrowseReply(browser, *found, false);
    services.erase(found);
}

std::string computerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    GetComputerNameA(name, &size);
    return name;
}

}  // namespace

#define EXPORT extern "C" __declspec(dllexport)

EXPORT int DNSServiceRefSockFD(DNSServiceRef ref) { return static_cast<int>(ref->socket); }

EXPORT corvello::DNSServiceErrorType DNSServiceProcessResult(DNSServiceRef ref)
{
    char byte;
    recv(ref->socket, &byte, 1, 0);
    std::function<void()> reply;
    {
        std::lock_guard lock(tableMutex);
        if (ref->replies.empty())
            return 0;
        reply = std::move(ref->replies.front());
        ref->replies.pop_front();
    }
    reply();
    return 0;
}

EXPORT void DNSServiceRefDeallocate(DNSServiceRef ref)
{
    {
        std::lock_guard lock(tableMutex);
        std::erase(browsers, ref);
        if (!ref->registeredName.empty())
            withdrawLocked(ref->registeredName, ref->type);
    }
    closesocket(ref->socket);
    delete ref;
}

EXPORT corvello::DNSServiceErrorType DNSServiceRegister(DNSServiceRef* ref, corvello::DNSServiceFlags, std::uint32_t,
                                                        const char* name, const char* type, const char*,
                                                        const char*, std::uint16_t port, std::uint16_t, const void*,
                                                        corvello::DNSServiceRegisterReply, void*)
{
    std::lock_guard lock(tableMutex);
    registrations.push_back({type, ntohs(port)});
    DNSServiceRef registration = newReference();
    registration->type = type;
    registration->registeredName = name && *name ? name : computerName();
    publishLocked({registration->registeredName, type, "localhost", ntohs(port)});
    *ref = registration;
    return 0;
}

EXPORT corvello::DNSServiceErrorType DNSServiceBrowse(DNSServiceRef* ref, corvello::DNSServiceFlags, std::uint32_t,
                                                      const char* type, const char*,
                                                      corvello::DNSServiceBrowseReply reply, void* context)
{
    std::lock_guard lock(tableMutex);
    DNSServiceRef browser = newReference();
    browser->type = type;
    browser->browseReply = reply;
    browser->context = context;
    for (const Service& service : services)
        if (service.type == type)
            queueBrowseReply(browser, service, true);
    browsers.push_back(browser);
    *ref = browser;
    return 0;
}

EXPORT corvello::DNSServiceErrorType DNSServiceResolve(DNSServiceRef* ref, corvello::DNSServiceFlags, std::uint32_t,
                                                       const char* name, const char* type, const char*,
                                                       corvello::DNSServiceResolveReply reply, void* context)
{
    std::lock_guard lock(tableMutex);
    DNSServiceRef resolver = newReference();
    for (const Service& service : services)
        if (service.name == name && service.type == type)
            queueReply(resolver, [=, name = service.name, host = service.host, port = service.port] {
                reply(resolver, 0, 0, 0, name.c_str(), host.c_str(), htons(port), 0, nullptr, context);
            });
    *ref = resolver;
    return 0;
}

EXPORT void corvfakePublish(const char* name, const char* type, const char* host, int port)
{
    std::lock_guard lock(tableMutex);
    publishLocked({name, type, host, static_cast<std::uint16_t>(port)});
}

EXPORT void corvfakeWithdraw(const char* name, const char* type)
{
    std::lock_guard lock(tableMutex);
    withdrawLocked(name, type);
}

EXPORT int corvfakeIsRegistered(const char* type, int port)
{
    std::lock_guard lock(tableMutex);
    return std::any_of(registrations.begin(), registrations.end(),
                       [&](const Registration& r) { return r.type == type && r.port == port; });
}
