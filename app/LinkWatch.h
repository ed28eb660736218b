#pragma once
// Hears the remote link for the tray: a remote connecting or leaving and a
// protocol selection, each handed to a callback on the link thread. It claims
// nothing, so the translators still see every record and notification. It
// hears a selection before the translators act on it, so it names the
// protocol by the same table they use rather than asking them.

#include <cstdint>
#include <functional>
#include <string>

#include "core/RemoteFilter.h"

namespace corvello {

class LinkWatch : public RemoteFilter {
public:
    enum class Event { Connected, Disconnected, ProtocolSelected };
    struct Change {
        Event event;
        std::string address;    // the remote's, on Connected
        std::int32_t protocol;  // the ProtocolState asked for, on ProtocolSelected
        bool operator==(const Change&) const = default;
    };
    using Callback = std::function<void(const Change&)>;

    explicit LinkWatch(Callback callback) : callback_(std::move(callback)) {}

    int receive(const MessageRecord& record) override;
    bool peerConnected(std::uint32_t address, std::uint32_t portWord) override;
    void peerDisconnected(std::intptr_t listenSocket, std::int32_t listenPort) override;

private:
    Callback callback_;
};

}  // namespace corvello
