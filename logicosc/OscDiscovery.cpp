#include "logicosc/OscDiscovery.h"

#include <stdexcept>

#include "logicosc/OSCNode.h"
#include "logicosc/OscpackText.h"
#include "platform/Log.h"

namespace corvello {

namespace {

void aimSecondNode(const char* host, std::uint16_t port)
{
    try {
        browsedOscNode().setPeer(host, port);
    } catch (const std::runtime_error& e) {
        log::error("OSC: cannot reach %s:%u: %s", host, static_cast<unsigned>(port), errorText(e).c_str());
    }
}

}  // namespace

std::unique_ptr<ServiceBrowser> startOscPeerBrowser()
{
    ServiceBrowser::Actions actions;
    actions.onResolved = aimSecondNode;
    actions.onLost = [] { aimSecondNode("", 0); };
    return std::make_unique<ServiceBrowser>(kOscPeerServiceType, std::move(actions));
}

}  // namespace corvello
