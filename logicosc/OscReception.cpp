#include "logicosc/OscReception.h"

#include <stdexcept>

#include "link/ServiceAdvertiser.h"
#include "logicosc/OscpackText.h"
#include "platform/Log.h"

namespace corvello {

void openForDaw(OSCNode& node)
{
    // Before reception starts: the first datagram may follow at once.
    node.followSender(true);
    std::int32_t port = 0;
    try {
        bool started = false;
        port = node.startReceiving(&started);
        if (started)
            log::info("OSC: receiving on UDP port %d", static_cast<int>(port));
    } catch (const std::runtime_error& e) {
        log::error("OSC: cannot receive from the DAW: %s", errorText(e).c_str());
        return;
    }
    if (!node.serviceRef)
        node.serviceRef = advertiseService(kOscReceiverServiceType, static_cast<std::uint16_t>(port));
}

}  // namespace corvello
