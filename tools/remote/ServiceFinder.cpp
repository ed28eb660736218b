#include "tools/remote/ServiceFinder.h"

#include <condition_variable>
#include <mutex>
#include <optional>

#include "link/DnsSd.h"
#include "link/ServiceAdvertiser.h"
#include "link/ServiceBrowser.h"

namespace corvello::remote {

bool findCorvello(Endpoint& endpoint, std::chrono::milliseconds timeout)
{
    if (!dnssd().isLoaded() && !dnssd().load())
        return false;
    std::mutex mutex;
    std::condition_variable resolved;
    std::optional<Endpoint> found;
    ServiceBrowser::Actions actions;
    actions.onResolved = [&](const char* host, std::uint16_t port) {
        std::lock_guard lock(mutex);
        found = Endpoint{host, port};
        resolved.notify_one();
    };
    ServiceBrowser browser(kRemoteLinkServiceType, std::move(actions), false);
    std::unique_lock lock(mutex);
    resolved.wait_for(lock, timeout, [&] { return found.has_value(); });
    if (found)
        endpoint = *found;
    return found.has_value();
}

}  // namespace corvello::remote
