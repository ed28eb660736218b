#pragma once
// A host protocol that talks to the DAW in OSC, through an OSCNode.

#include <string_view>

#include "hostprotocols/HostProtocol.h"
#include "logicosc/OSCNode.h"

namespace corvello {

class HostProtocolOSC : public HostProtocol {
public:
    void setOscOutput(OSCNode* node) override { oscOut = node; }

protected:
    // One message with one float argument; nothing while no output is set.
    void sendFloatToHost(std::string_view address, float value)
    {
        if (!oscOut)
            return;
        OscRecord record;
        record.setAddress(address);
        record.value = value;
        oscOut->sendFloat(record);
    }

    OSCNode* oscOut = nullptr;
};

}  // namespace corvello
