#pragma once
// Watches DNS-SD for one service type and follows the first matching service:
// idle until one is announced, resolving while its address is looked up,
// resolved until any service of the type is withdrawn, then idle again.
// All DNS-SD results, and so both actions, run on the browser's own thread,
// which sleeps on the library's sockets and a stop signal: no timer wakes it.
// A reference whose results fail (its daemon went away) is given up, with one
// stderr line, rather than retried in a loop.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "link/DnsSd.h"
#include "link/WakeSignal.h"

namespace corvello {

inline constexpr const char* kOscPeerServiceType = "_kestrosc._udp";

class ServiceBrowser {
public:
    enum State : std::int32_t { Idle = 0, Resolving = 1, Resolved = 2 };

    struct Actions {
        // Host name as DNS-SD gives it, port in host byte order.
        std::function<void(const char* host, std::uint16_t port)> onResolved;
        std::function<void()> onLost;
    };

    // Starts the browser thread at once. With `sameHostOnly`, only services
    // named like this computer (in any letter case) in "local." are followed.
    ServiceBrowser(std::string serviceType, Actions actions, bool sameHostOnly = true);
    // Stops the thread (waiting for it) and releases both references.
    ~ServiceBrowser();
    ServiceBrowser(const ServiceBrowser&) = delete;
    ServiceBrowser& operator=(const ServiceBrowser&) = delete;

    // Idempotent; returns once the thread has ended.
    void stop();

    State state() const { return state_; }
    std::uint16_t resolvedPort() const { return resolvedPort_; }

private:
    static void browseReply(DNSServiceRef, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                            DNSServiceErrorType, const char* serviceName, const char* regtype,
                            const char* replyDomain, void* context);
    static void resolveReply(DNSServiceRef, DNSServiceFlags, std::uint32_t interfaceIndex, DNSServiceErrorType,
                             const char* fullname, const char* hosttarget, std::uint16_t port,
                             std::uint16_t txtLen, const unsigned char* txtRecord, void* context);

    void run();
    // Processes the results waiting on `ref`; false when the library failed.
    bool processResults(DNSServiceRef ref);
    void giveUpBrowsing();
    void giveUpResolving();
    void onAnnounced(const char* serviceName, const char* regtype, const char* domain);
    void onWithdrawn();
    void onResolvedAt(const char* host, std::uint16_t portInNetworkOrder);
    bool isFollowed(const char* serviceName) const;

    std::atomic<State> state_{Idle};
    DNSServiceRef browseRef_ = nullptr;
    DNSServiceRef resolveRef_ = nullptr;
    std::atomic<std::uint16_t> resolvedPort_{0xFFFF};
    const std::string serviceType_;
    const bool sameHostOnly_;
    Actions actions_;
    std::atomic<bool> stopRequested_{false};
    net::WakeSignal stopSignal_;
    std::thread thread_;
};

}  // namespace corvello
