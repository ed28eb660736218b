#pragma once
// Creating and wiring the host protocol a Translator installs.

#include <memory>

#include "core/HostSelection.h"

namespace corvello {

class HostProtocol;
class MIDINode;

// Throws std::bad_alloc when memory runs out; never returns null for a real protocol.
std::unique_ptr<HostProtocol> createHostProtocol(ProtocolState state);

// MIDI protocols write to the Translator's MIDI node; Logic OSC writes to the
// first OSC node and is then activated.
void attachHostProtocol(HostProtocol& protocol, ProtocolState state, MIDINode* midiNode);

}  // namespace corvello
