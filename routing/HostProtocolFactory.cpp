#include "routing/HostProtocolFactory.h"

#include "hostprotocols/HostProtocolHUI.h"
#include "hostprotocols/HostProtocolMC.h"
#include "hostprotocols/HostProtocolPanner.h"
#include "logicosc/HostProtocolLogicOSC.h"
#include "logicosc/OSCNode.h"

namespace corvello {

std::unique_ptr<HostProtocol> createHostProtocol(ProtocolState state)
{
    switch (state) {
    case kHUIProtocol: return std::make_unique<HostProtocolHUI>();
    case kMackieControlProtocol: return std::make_unique<HostProtocolMC>();
    case kPannerProtocol: return std::make_unique<HostProtocolPanner>();
    case kLogicOSCProtocol: return std::make_unique<HostProtocolLogicOSC>();
    case kNoProtocol: break;
    }
    return nullptr;
}

void attachHostProtocol(HostProtocol& protocol, ProtocolState state, MIDINode* midiNode)
{
    if (state == kLogicOSCProtocol) {
        protocol.setOscOutput(&logicOscNode());
        protocol.activate();
    } else {
        protocol.setMidiOutput(midiNode);
    }
}

}  // namespace corvello
