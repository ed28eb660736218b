#pragma once
// Hears the remote link for the tray: a remote connecting or leaving, a
// protocol selection and a refused connection, each handed to a callback on
// the link thread. Refusals come from outside, so at most one per interval is
// handed on, with a count of those held back. It claims
// nothing, so the translators still see every record and notification. It
// hears a selection before the translators act on it, so it names the
// protocol by the same table they use rather than asking them.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "core/RemoteFilter.h"
#include "platform/Log.h"

namespace corvello {

class LinkWatch : public RemoteFilter {
public:
    enum class Event { Connected, Disconnected, ProtocolSelected, Refused };
    struct Change {
        Event event;
        std::string address;        // the remote's, on Connected and Refused
        std::int32_t protocol;      // the ProtocolState asked for, on ProtocolSelected
        unsigned alsoRefused = 0;   // on Refused: connections refused unreported since the last one
        bool operator==(const Change&) const = default;
    };
    using Callback = std::function<void(const Change&)>;

    // A balloon is more intrusive than a log line: one per 10 s is enough.
    static constexpr auto kRefusalInterval = std::chrono::seconds(10);

    explicit LinkWatch(Callback callback, log::RateLimiter::Clock::duration refusalInterval = kRefusalInterval)
        : callback_(std::move(callback)), refusals_(refusalInterval)
    {
    }

    int receive(const MessageRecord& record) override;
    bool peerConnected(std::uint32_t address, std::uint32_t portWord) override;
    void peerDisconnected(std::intptr_t listenSocket, std::int32_t listenPort) override;
    void peerRefused(std::uint32_t address) override;

private:
    Callback callback_;
    log::RateLimiter refusals_;  // link thread only
};

}  // namespace corvello
