#pragma once
// Turns received OSC datagrams into OSC records for an OSCNode: messages
// whose first argument is a float or a string are delivered, everything
// else is not.

#include "ip/IpEndpointName.h"
#include "osc/OscPacketListener.h"
#include "osc/OscReceivedElements.h"
#include "platform/Log.h"

namespace corvello {

class OSCNode;

class OscNodeListener : public osc::OscPacketListener {
public:
    explicit OscNodeListener(OSCNode* node) : node_(node) {}

    // Each datagram is checked first (logicosc/OscPacketCheck.h): one that is not
    // well-formed OSC is refused with a rate-limited warning and changes
    // nothing. Then the node decides whether its source is heard at all (see
    // OSCNode::followSender). Exceptions from the filters are the node's to
    // handle.
    void ProcessPacket(const char* data, int size, const IpEndpointName& source) override;

protected:
    // A message with more than one argument still delivers its first and is
    // reported (rate-limited) as "too many arguments".
    void ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName& source) override;

private:
    void deliverFirstArgument(const osc::ReceivedMessage& message);

    OSCNode* node_;
    log::RateLimitedLog refusedDatagrams_;
    log::RateLimitedLog messageErrors_;
};

}  // namespace corvello
