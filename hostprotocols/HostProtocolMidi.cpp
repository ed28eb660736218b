#include "hostprotocols/HostProtocolMidi.h"

#include "core/MIDINode.h"

namespace corvello {
namespace {

bool isChannelStatus(int status) { return status >= 0x80 && status <= 0xEF; }
bool isDataByte(int data) { return data >= 0 && data <= 0x7F; }

}  // namespace

std::span<const std::uint8_t> HostProtocolMidi::messageBytes(const std::uint8_t* bytes, std::int32_t length)
{
    if (!bytes || length <= 0)
        return {};
    return {bytes, static_cast<std::size_t>(length)};
}

void HostProtocolMidi::writeMessage(std::int32_t port, std::span<const std::uint8_t> bytes) const
{
    if (!midiOut || port < 0)
        return;
    midiOut->send(port, bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

void HostProtocolMidi::writeChannelMessage(std::int32_t port, int status, int data1, int data2) const
{
    if (!isChannelStatus(status) || !isDataByte(data1) || !isDataByte(data2))
        return;
    const std::uint8_t message[] = {static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(data1),
                                    static_cast<std::uint8_t>(data2)};
    writeMessage(port, message);
}

}  // namespace corvello
