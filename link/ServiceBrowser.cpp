#include "link/ServiceBrowser.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string_view>

#include "link/DnsSdPlatform.h"
#include "link/NetworkOrder.h"
#include "link/Socket.h"

namespace corvello {

namespace {

// How long one pass waits on a reference's socket; also the pause of a pass
// with nothing to wait on, so a browser without the library never spins.
constexpr int kPassMilliseconds = 25;
constexpr std::size_t kServiceTypeBound = 255;

void pauseOnePass() { std::this_thread::sleep_for(std::chrono::milliseconds(kPassMilliseconds)); }

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
    if (thread_.joinable())
        thread_.join();
}

void ServiceBrowser::run()
{
    net::startSockets();
    const char* domain = sameHostOnly_ ? "local." : "";
    dnssd().browse(&browseRef_, 0, 0, serviceType_.c_str(), domain, &ServiceBrowser::browseReply, this);
    while (!stopRequested_) {
        if (browseRef_ && !serviceOnce(browseRef_))
            break;
        if (stopRequested_)
            break;
        if (resolveRef_ && !serviceOnce(resolveRef_))
            break;
        if (!browseRef_ && !resolveRef_)
            pauseOnePass();
    }
}

bool ServiceBrowser::serviceOnce(DNSServiceRef ref)
{
    const int socket = dnssd().refSockFD(ref);
    if (socket < 0) {
        pauseOnePass();
        return !stopRequested_;
    }
    const net::SocketHandle handles[1] = {socket};
    bool readable[1] = {false};
    const net::WaitResult waited = net::waitReadable(handles, kPassMilliseconds, readable);
    if (stopRequested_)
        return false;
    // A library whose daemon went away reports errors at once on a socket that
    // stays readable; pausing keeps that from becoming a busy loop.
    if (waited == net::WaitResult::Failed ||
        (readable[0] && dnssd().processResult(ref) != kDNSServiceErr_NoError))
        pauseOnePass();
    return true;
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
