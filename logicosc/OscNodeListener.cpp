#include "logicosc/OscNodeListener.h"

#include <cstdio>
#include <string_view>

#include "logicosc/OSCNode.h"

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

void reportMessageError(const osc::ReceivedMessage& message, const char* what)
{
    std::printf("error while parsing message: %s: %s\n", message.AddressPattern(), what);
    std::fflush(stdout);
}

}  // namespace

void OscNodeListener::ProcessPacket(const char* data, int size, const IpEndpointName& source)
{
    try {
        osc::OscPacketListener::ProcessPacket(data, size, source);
    } catch (const osc::Exception& e) {
        std::printf("error while parsing packet: %s\n", e.what());
        std::fflush(stdout);
    }
}

void OscNodeListener::ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName& source)
{
    node_->noteSender(static_cast<std::uint32_t>(source.address), static_cast<std::uint16_t>(source.port));
    try {
        deliverFirstArgument(message);
        if (message.ArgumentCount() > 1)
            reportMessageError(message, osc::ExcessArgumentException().what());
    } catch (const osc::Exception& e) {
        reportMessageError(message, e.what());
    }
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
