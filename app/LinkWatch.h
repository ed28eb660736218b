#pragma once
// Hears the remote link for the tray: a remote connecting or leaving and a
// protocol selection, each handed to a callback on the link thread. It claims
// nothing, so the translators still see every record and notification.

#include <cstdint>
#include <functional>
#include <string>

#include "routing/ZebFilter.h"

namespace corvello {

class LinkWatch : public ZebFilter {
public:
    enum class Event { Connected, Disconnected, ProtocolSelected };
    // `address` is the remote's, where the event has one.
    using Callback = std::function<void(Event, const std::string& address)>;

    explicit LinkWatch(Callback callback) : callback_(std::move(callback)) {}

    int receive(const MessageRecord& record) override;
    bool peerConnected(std::uint32_t address, std::uint32_t portWord) override;
    void peerDisconnected(std::intptr_t listenSocket, std::int32_t listenPort) override;

private:
    Callback callback_;
};

// Dotted text of an IPv4 address held in network byte order.
std::string ipv4Text(std::uint32_t networkOrder);

}  // namespace corvello
