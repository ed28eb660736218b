#include "logicosc/OscReception.h"

#include <cstdio>
#include <stdexcept>

#include "link/ServiceAdvertiser.h"

namespace corvello {

void openForDaw(OSCNode& node)
{
    std::int32_t port = 0;
    try {
        const bool alreadyReceiving = node.isReceiving();
        port = node.startReceiving();
        if (!alreadyReceiving)
            std::fprintf(stderr, "OSC: receiving on UDP port %d\n", static_cast<int>(port));
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "OSC: cannot receive from the DAW: %s", e.what());
        return;
    }
    node.followSender(true);
    if (!node.serviceRef)
        node.serviceRef = advertiseService(kOscReceiverServiceType, static_cast<std::uint16_t>(port));
}

}  // namespace corvello
