#pragma once
// The DAW-facing half of the bridge: records from the remote become MIDI or
// OSC for the DAW, and what the DAW sends becomes records for the remote.

#include <cstdint>

#include "core/MessageRecord.h"
#include "core/OscRecord.h"
#include "core/RecordSink.h"

namespace corvello {

class MIDINode;
class OSCNode;

class HostProtocol {
public:
    // Protocols hold only values and non-owning pointers; the Translator
    // destroys them through this base when the remote switches protocols.
    virtual ~HostProtocol() = default;

    virtual void setOscOutput(OSCNode*) {}
    virtual void setMidiOutput(MIDINode*) {}
    // One complete MIDI message from the DAW, on the node-relative port.
    virtual MessageRecord fromHostMidi(const std::uint8_t* bytes, std::int32_t length, std::int32_t port)
    {
        (void)bytes, (void)length, (void)port;
        return MessageRecord::nothing();
    }
    virtual MessageRecord fromHostOsc(OscRecord) { return MessageRecord::nothing(); }
    // 0 when the protocol does not handle the kind.
    virtual int toHost(MessageRecord record) = 0;
    virtual void activate() {}

    // Set by the owning Translator right after construction; null for the panner.
    RecordSink* translator = nullptr;

protected:
    // Extra records for the remote, beyond the one fromHost* returns; dropped
    // while no translator is set.
    void sendToRemote(const MessageRecord& record)
    {
        if (translator)
            translator->sendToRemote(record);
    }
};

}  // namespace corvello
