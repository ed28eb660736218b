#include <memory>
#include <mutex>

#include "logicosc/OSCNode.h"

namespace corvello {

namespace {

// Creation can race: the browser thread may resolve a service while the main
// thread is still building the routing.
std::mutex nodesMutex;
std::unique_ptr<OSCNode> firstNode;
std::unique_ptr<OSCNode> secondNode;

OSCNode& existingOrNew(std::unique_ptr<OSCNode>& node)
{
    std::lock_guard lock(nodesMutex);
    if (!node)
        node = std::make_unique<OSCNode>();
    return *node;
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
    first.reset();
    second.reset();
}

}  // namespace corvello
