#pragma once
// Everything sent to the remote passes through an outgoing queue.

#include "core/MessageRecord.h"

namespace corvello {

class RemoteQueue {
public:
    virtual ~RemoteQueue() = default;
    virtual void send(const MessageRecord& record) = 0;
    virtual void beginBatch() {}
    virtual void endBatch() {}
};

}  // namespace corvello
