#pragma once
// What the Translator needs of a desktop controller: kind-210 records from
// the remote, and the queue to answer through.

#include <cstdint>

#include "core/MessageRecord.h"

namespace corvello {

class RemoteQueue;

class DesktopCommands {
public:
    virtual ~DesktopCommands() = default;
    // Executes one desktop command synchronously; replies go through the queue.
    virtual void receive(const MessageRecord& record) = 0;
    // Called on every host selection with the selector and the queue to answer through.
    virtual void setHost(std::int32_t hostSelector, RemoteQueue* queue) = 0;
};

}  // namespace corvello
