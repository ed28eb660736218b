#pragma once
// Turns received OSC packets into OSC records for an OSCNode: messages whose
// first argument is a float or a string are delivered, everything else is not.

#include "ip/IpEndpointName.h"
#include "osc/OscPacketListener.h"
#include "osc/OscReceivedElements.h"

namespace corvello {

class OSCNode;

class OscNodeListener : public osc::OscPacketListener {
public:
    explicit OscNodeListener(OSCNode* node) : node_(node) {}

    // A datagram that is not well-formed OSC is dropped with a line on stdout;
    // the receive loop goes on with the next one.
    void ProcessPacket(const char* data, int size, const IpEndpointName& source) override;

protected:
    // Errors while handling one message are written to stdout as "error while
    // parsing message: <address>: <what>"; a record already delivered stays so.
    // The source of each well-formed message is reported to the node first
    // (see OSCNode::followSender).
    void ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName& source) override;

private:
    void deliverFirstArgument(const osc::ReceivedMessage& message);

    OSCNode* node_;
};

}  // namespace corvello
