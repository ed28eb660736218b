#include "app/LinkWatch.h"

#include <cstring>

#include "core/HostSelection.h"

namespace corvello {

int LinkWatch::receive(const MessageRecord& record)
{
    if (record.kind == kHostSelectionKind)
        callback_({Event::ProtocolSelected, {}, protocolForSelector(record.index)});
    return 0;
}

bool LinkWatch::peerConnected(std::uint32_t address, std::uint32_t)
{
    callback_({Event::Connected, ipv4Text(address), kNoProtocol});
    return false;
}

void LinkWatch::peerDisconnected(std::intptr_t, std::int32_t) { callback_({Event::Disconnected, {}, kNoProtocol}); }

std::string ipv4Text(std::uint32_t networkOrder)
{
    unsigned char bytes[4];
    std::memcpy(bytes, &networkOrder, sizeof bytes);  // network order is the order in memory
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
           std::to_string(bytes[3]);
}

}  // namespace corvello
