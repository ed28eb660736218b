#include "app/LinkWatch.h"

#include "core/HostSelection.h"
#include "link/Socket.h"

namespace corvello {

int LinkWatch::receive(const MessageRecord& record)
{
    if (record.kind == kHostSelectionKind)
        callback_({Event::ProtocolSelected, {}, protocolForSelector(record.index)});
    return 0;
}

bool LinkWatch::peerConnected(std::uint32_t address, std::uint32_t)
{
    callback_({Event::Connected, net::formatIPv4(address), kNoProtocol});
    return false;
}

void LinkWatch::peerDisconnected(std::intptr_t, std::int32_t) { callback_({Event::Disconnected, {}, kNoProtocol}); }

void LinkWatch::peerRefused(std::uint32_t address)
{
    unsigned heldBack = 0;
    if (refusals_.admit(log::RateLimiter::Clock::now(), heldBack))
        callback_({Event::Refused, net::formatIPv4(address), kNoProtocol, heldBack});
}

}  // namespace corvello
