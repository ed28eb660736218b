#include "logicosc/OscNodeListener.h"

#include <span>
#include <string_view>

#include "logicosc/OSCNode.h"
#include "logicosc/OscPacketCheck.h"
#include "logicosc/OscpackText.h"

namespace corvello {

namespace {

// Text longer than an OSC record field is cut to fit: a long track name or
// alert still reaches the remote, and the Logic vocabulary's addresses are
// far shorter than the field, so cutting never changes which control is meant.
std::string_view cutToField(const char* text)
{
    std::string_view s(text);
    return s.substr(0, OscRecord::kFieldSize - 1);
}

}  // namespace

void OscNodeListener::ProcessPacket(const char* data, int size, const IpEndpointName& source)
{
    const std::span<const char> datagram(data, static_cast<std::size_t>(size));
    if (const auto fault = findOscPacketFault(datagram)) {
        refusedDatagrams_("OSC: refused a datagram of %d bytes from %s: %s at byte %zu", size,
                          endpointText(source).c_str(), fault->what, fault->offset);
        return;
    }
    if (!node_->admitSender(static_cast<std::uint32_t>(source.address), static_cast<std::uint16_t>(source.port)))
        return;
    try {
        osc::OscPacketListener::ProcessPacket(data, size, source);
    } catch (const osc::Exception& e) {
        // The check leaves oscpack nothing to object to; should it still, the
        // datagram is refused all the same.
        refusedDatagrams_("OSC: the OSC library refused a datagram of %d bytes from %s: %s", size,
                          endpointText(source).c_str(), errorText(e).c_str());
    }
}

void OscNodeListener::ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName&)
{
    deliverFirstArgument(message);
    if (message.ArgumentCount() > 1)
        messageErrors_("OSC: error while parsing message: %.63s: %s", message.AddressPattern(),
                       osc::ExcessArgumentException().what());
}

void OscNodeListener::deliverFirstArgument(const osc::ReceivedMessage& message)
{
    if (message.ArgumentCount() == 0)
        return;
    const osc::ReceivedMessageArgument first = *message.ArgumentsBegin();
    OscRecord record;
    if (first.IsFloat()) {
        record.value = first.AsFloat();
    } else if (first.IsString()) {
        record.setText(cutToField(first.AsString()));
    } else {
        return;
    }
    record.setAddress(cutToField(message.AddressPattern()));
    node_->receive(record);
}

}  // namespace corvello
