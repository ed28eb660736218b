#pragma once
// Receiver of the remote link's traffic.

#include <cstdint>

#include "core/MessageRecord.h"

namespace corvello {

class RemoteNode;

class RemoteFilter {
public:
    virtual ~RemoteFilter() = default;

    // Null detaches.
    void setNode(RemoteNode* n) { node = n; }
    // Nonzero claims the record; 0 lets the next filter see it.
    virtual int receive(const MessageRecord& record) = 0;
    // `address` is the peer's IPv4 address in network byte order; the low 16 bits
    // of `portWord` are its TCP port in network byte order. True stops the
    // notification from reaching later filters.
    virtual bool peerConnected(std::uint32_t address, std::uint32_t portWord) = 0;
    // The arguments are the node's listening socket and port, not the peer's.
    virtual void peerDisconnected(std::intptr_t listenSocket, std::int32_t listenPort) = 0;
    // A connection from `address` (IPv4, network byte order) was closed
    // unanswered: it is outside the ranges the node serves. Every filter
    // hears it, once per connection; only an observer has a use for it.
    virtual void peerRefused(std::uint32_t address) { (void)address; }

    RemoteNode* node = nullptr;
};

}  // namespace corvello
