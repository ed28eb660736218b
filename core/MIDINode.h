#pragma once
// A MIDI endpoint covering one or more consecutive virtual MIDI ports.

#include <cstdint>

#include "core/FilterList.h"
#include "core/MIDIFilter.h"

namespace corvello {

class MIDINode {
public:
    explicit MIDINode(std::int32_t firstPort, std::int32_t portCount = 1)
        : firstPort(firstPort), portCount(portCount)
    {
    }
    virtual ~MIDINode() = default;
    MIDINode(const MIDINode&) = delete;
    MIDINode& operator=(const MIDINode&) = delete;

    void addFilter(MIDIFilter* filter) { filters.add(filter); }
    // Writes the bytes as one message to every client of global port
    // firstPort + localPort. A local port the node does not own is refused:
    // it would land on another node's port. Virtual so tests can record it.
    virtual void send(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length);
    // Offers a block from the DAW to the filters until one claims it.
    void receive(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length);

    const std::int32_t firstPort;
    const std::int32_t portCount;

protected:
    FilterList<MIDIFilter, MIDINode> filters{this};
};

}  // namespace corvello
