#pragma once
// The part every MIDI-carried host protocol shares: the MIDI node it writes
// to, and writes that can never put malformed MIDI on the DAW's port.

#include <cstdint>
#include <span>

#include "hostprotocols/HostProtocol.h"

namespace corvello {

class HostProtocolMidi : public HostProtocol {
public:
    void setMidiOutput(MIDINode* node) override { midiOut = node; }

    // Not owned; null until setMidiOutput.
    MIDINode* midiOut = nullptr;

protected:
    // The DAW's message as a bounded view; empty for a null block or a
    // negative length, so parsers need only check the size they read.
    static std::span<const std::uint8_t> messageBytes(const std::uint8_t* bytes, std::int32_t length);

    // One message to the node-relative port. Nothing is written without a
    // node, or to a negative port (it would land on another node's ports).
    void writeMessage(std::int32_t port, std::span<const std::uint8_t> bytes) const;

    // A three-byte channel message. Dropped, rather than sent corrupt, when
    // the status is not a channel status or a data byte is outside 0..127:
    // that only happens for indexes no surface has.
    void writeChannelMessage(std::int32_t port, int status, int data1, int data2) const;
};

}  // namespace corvello
