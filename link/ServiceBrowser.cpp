#include "link/ServiceBrowser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include "link/DnsSdPlatform.h"
#include "link/NetworkOrder.h"
#include "link/Socket.h"
#include "platform/Log.h"

namespace corvello {

namespace {

constexpr std::size_t kServiceTypeBound = 255;

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}

}  // namespace

ServiceBrowser::ServiceBrowser(std::string serviceType, Actions actions, bool sameHostOnly)
    : serviceType_(serviceType.substr(0, kServiceTypeBound)), sameHostOnly_(sameHostOnly),
      actions_(std::move(actions))
{
    thread_ = std::thread([this] { run(); });
}

ServiceBrowser::~ServiceBrowser()
{
    stop();
    if (browseRef_)
        dnssd().refDeallocate(browseRef_);
    if (resolveRef_)
        dnssd().refDeallocate(resolveRef_);
}

void ServiceBrowser::stop()
{
    stopRequested_ = true;
    stopSignal_.raise();
    if (thread_.joinable())
        thread_.join();
}

void ServiceBrowser::run()
{
    net::startSockets();
    const char* domain = sameHostOnly_ ? "local." : "";
    if (dnssd().browse(&browseRef_, 0, 0, serviceType_.c_str(), domain, &ServiceBrowser::browseReply, this) !=
        kDNSServiceErr_NoError)
        browseRef_ = nullptr;
    while (!stopRequested_) {
        // Without references only the stop signal is watched: the thread sleeps until stopped.
        const DNSServiceRef browsing = browseRef_;
        const DNSServiceRef resolving = resolveRef_;
        std::array<net::SocketHandle, 3> sockets{stopSignal_.socket(), net::kNoSocket, net::kNoSocket};
        std::array<bool, 3> ready{};
        if (browsing)
            sockets[1] = dnssd().refSockFD(browsing);
        if (resolving)
            sockets[2] = dnssd().refSockFD(resolving);
        std::array<net::SocketHandle, 3> watched{};
        std::array<std::size_t, 3> slot{};
        std::size_t count = 0;
        for (std::size_t i = 0; i < sockets.size(); ++i)
            if (sockets[i] >= 0) {
                slot[i] = count;
                watched[count++] = sockets[i];
            }
        std::array<bool, 3> readable{};
        if (net::waitReadable(std::span(watched.data(), count), net::kWaitForever, std::span(readable.data(), count)) ==
            net::WaitResult::Failed) {
            log::error("DNS-SD: cannot wait for results of %s; browsing ends", serviceType_.c_str());
            return;
        }
        for (std::size_t i = 0; i < sockets.size(); ++i)
            ready[i] = sockets[i] >= 0 && readable[slot[i]];
        if (stopRequested_)
            return;
        if (ready[0])
            stopSignal_.drain();
        if (ready[1] && !processResults(browsing))
            giveUpBrowsing();
        // A withdrawal may have ended the resolution that was waited on.
        if (ready[2] && resolveRef_ == resolving && !processResults(resolving))
            giveUpResolving();
    }
}

bool ServiceBrowser::processResults(DNSServiceRef ref) { return dnssd().processResult(ref) == kDNSServiceErr_NoError; }

void ServiceBrowser::giveUpBrowsing()
{
    log::warning("DNS-SD: the service daemon stopped answering; %s services are no longer followed",
                 serviceType_.c_str());
    giveUpResolving();
    dnssd().refDeallocate(browseRef_);
    browseRef_ = nullptr;
}

void ServiceBrowser::giveUpResolving()
{
    if (resolveRef_)
        dnssd().refDeallocate(resolveRef_);
    resolveRef_ = nullptr;
    if (state_ == Resolving)
        state_ = Idle;
}

void ServiceBrowser::browseReply(DNSServiceRef, DNSServiceFlags flags, std::uint32_t, DNSServiceErrorType,
                                 const char* serviceName, const char* regtype, const char* replyDomain,
                                 void* context)
{
    auto* browser = static_cast<ServiceBrowser*>(context);
    if (!browser)
        return;
    if (flags & kDNSServiceFlagsAdd)
        browser->onAnnounced(serviceName, regtype, replyDomain);
    else
        browser->onWithdrawn();
}

void ServiceBrowser::onAnnounced(const char* serviceName, const char* regtype, const char* domain)
{
    // The first match wins until it is lost.
    if (state_ != Idle || !isFollowed(serviceName))
        return;
    state_ = Resolving;
    if (dnssd().resolve(&resolveRef_, 0, 0, serviceName, regtype, domain, &ServiceBrowser::resolveReply, this) !=
        kDNSServiceErr_NoError) {
        // Stuck in "resolving" nothing else could ever be followed.
        resolveRef_ = nullptr;
        state_ = Idle;
    }
}

bool ServiceBrowser::isFollowed(const char* serviceName) const
{
    if (!sameHostOnly_)
        return true;
    const std::string computer = dnssd_platform::computerName();
    return serviceName && !computer.empty() && equalIgnoringCase(serviceName, computer);
}

void ServiceBrowser::onWithdrawn()
{
    // Names are not compared: any withdrawal of the type ends the match.
    if (state_ == Idle)
        return;
    DNSServiceRef taken = resolveRef_;
    resolveRef_ = nullptr;
    if (actions_.onLost)
        actions_.onLost();
    if (taken)
        dnssd().refDeallocate(taken);
    state_ = Idle;
}

void ServiceBrowser::resolveReply(DNSServiceRef, DNSServiceFlags, std::uint32_t, DNSServiceErrorType,
                                  const char*, const char* hosttarget, std::uint16_t port, std::uint16_t,
                                  const unsigned char*, void* context)
{
    if (auto* browser = static_cast<ServiceBrowser*>(context))
        browser->onResolvedAt(hosttarget, port);
}

void ServiceBrowser::onResolvedAt(const char* host, std::uint16_t portInNetworkOrder)
{
    if (state_ != Resolving)
        return;
    state_ = Resolved;
    resolvedPort_ = fromNetworkOrder16(portInNetworkOrder);
    if (actions_.onResolved)
        actions_.onResolved(host ? host : "", resolvedPort_);
}

}  // namespace corvello
