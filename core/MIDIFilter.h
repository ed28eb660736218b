#pragma once
// Receiver of MIDI from the DAW, through a MIDINode.

#include <cstdint>

namespace corvello {

class MIDINode;

class MIDIFilter {
public:
    virtual ~MIDIFilter() = default;

    virtual void setNode(MIDINode* n) { node = n; }
    // One block from the DAW on the node's local port; nonzero claims it.
    // The bytes are valid only during the call.
    virtual int receive(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length) = 0;

    MIDINode* node = nullptr;
};

}  // namespace corvello
