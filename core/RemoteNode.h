#pragma once
// The remote-link node: records to and from the remote application, on the
// main (TCP) channel and the metering (UDP) channel. Everything for the
// remote goes through the node's own outgoing queue.

#include <cstdint>
#include <string>

#include "core/FilterList.h"
#include "core/MessageRecord.h"
#include "core/RemoteFilter.h"
#include "core/RemoteQueue.h"

namespace corvello {

class RemoteNode {
public:
    RemoteNode() = default;
    virtual ~RemoteNode() = default;
    RemoteNode(const RemoteNode&) = delete;
    RemoteNode& operator=(const RemoteNode&) = delete;

    virtual void addFilter(RemoteFilter* filter) = 0;
    virtual void removeFilter(RemoteFilter* filter) = 0;
    // The queue that paces and coalesces what producers send to this node's remote.
    virtual RemoteQueue& outgoing() = 0;
    virtual void sendMain(const MessageRecord& record) = 0;
    virtual void queueMain(const MessageRecord& record) = 0;
    virtual void flushMain() = 0;
    virtual void sendMetering(const MessageRecord& record) = 0;
    virtual void queueMetering(const MessageRecord& record) = 0;
    virtual void flushMetering() = 0;
    virtual void connectTo(const std::string& host, std::int32_t port) = 0;
    virtual std::uint16_t listeningPort() = 0;
    virtual bool isConnected() = 0;
    virtual void setNoDelay() {}
    virtual void clearNoDelay() {}
};

}  // namespace corvello
