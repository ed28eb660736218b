#include <memory>
#include <mutex>

#include "logicosc/OSCNode.h"
#include "platform/Log.h"

namespace corvello {

namespace {

// Creation can race: the browser thread may resolve a service while the main
// thread is still building the routing.
std::mutex nodesMutex;
std::unique_ptr<OSCNode> firstNode;
std::unique_ptr<OSCNode> secondNode;

constexpr auto kStopWait = std::chrono::seconds(1);

OSCNode& existingOrNew(std::unique_ptr<OSCNode>& node)
{
    std::lock_guard lock(nodesMutex);
    if (!node)
        node = std::make_unique<OSCNode>();
    return *node;
}

// Exit must not wait on a receive thread stuck somewhere: such a node is
// released unfinished, and the process's end takes it with the thread.
void destroy(std::unique_ptr<OSCNode> node, const char* which)
{
    if (node && !node->stopReceiving(OSCNode::Clock::now() + kStopWait)) {
        log::error("OSC: the %s node's receive thread did not end; leaving it to the end of the process", which);
        static_cast<void>(node.release());
    }
}

}  // namespace

OSCNode& logicOscNode() { return existingOrNew(firstNode); }
OSCNode& browsedOscNode() { return existingOrNew(secondNode); }

void destroyOscNodes()
{
    std::unique_ptr<OSCNode> first, second;
    {
        std::lock_guard lock(nodesMutex);
        first = std::move(firstNode);
        second = std::move(secondNode);
    }
    destroy(std::move(first), "first");
    destroy(std::move(second), "second");
}

}  // namespace corvello
