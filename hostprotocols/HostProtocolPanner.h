#pragma once
// The remote's panner controls for a DAW plug-in. The record's index is the
// panner instance and also the node's port offset ("Swivo 1", "Swivo 2").
// Towards the DAW: control changes on channel 15; from it: control changes
// on any channel.

#include <cstdint>

#include "hostprotocols/HostProtocolMidi.h"

namespace corvello {

class HostProtocolPanner : public HostProtocolMidi {
public:
    static constexpr std::int32_t kInstances = 2;

    MessageRecord fromHostMidi(const std::uint8_t* bytes, std::int32_t length, std::int32_t port) override;
    // 1 for the panner's kinds (2001-2017), 0 for any other kind. Indexes
    // other than the two instances write nothing: any other port offset
    // would reach ports the panner does not own.
    int toHost(MessageRecord record) override;
};

}  // namespace corvello
