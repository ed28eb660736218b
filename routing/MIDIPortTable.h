#pragma once
// Maps the global numbers of the virtual MIDI ports onto MIDINode objects and
// owns the virtual MIDI server's start.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/MIDINode.h"

namespace corvello {

class MIDIPortTable {
public:
    // Port names in global port order.
    static constexpr const char* kPortNames[] = {"Swivo 1", "Swivo 2", "Tamberlin", nullptr};

    // Starts the virtual MIDI server with the port names and writes "Ok=true" or
    // "Ok=false" on stderr. A second server elsewhere is not acted upon: the
    // table and its nodes are built all the same, and simply see no traffic.
    MIDIPortTable();
    // For tests: a table that starts no server.
    struct NoServer {};
    explicit MIDIPortTable(NoServer);

    MIDIPortTable(const MIDIPortTable&) = delete;
    MIDIPortTable& operator=(const MIDIPortTable&) = delete;

    // Hands out the next `portCount` global ports to a new node.
    MIDINode* createNode(std::int32_t portCount);
    // Delivers a block to every node whose range holds the global port.
    void dispatch(std::int32_t globalPort, const std::uint8_t* bytes, std::int32_t length);

    bool serverRunning() const { return serverRunning_; }
    std::int32_t portCount() const { return portCount_; }
    const std::vector<std::int32_t>& bounds() const { return bounds_; }

private:
    std::int32_t portCount_ = 0;
    std::vector<std::unique_ptr<MIDINode>> nodes_;
    std::vector<std::int32_t> bounds_{0};
    bool serverRunning_ = false;
};

// Process-wide objects, created on first use and never destroyed.
MIDIPortTable& midiPortTable();
// Global ports 0 and 1 ("Swivo 1", "Swivo 2"). Create it before the main node.
MIDINode& pannerMidiNode();
// Global port 2 ("Tamberlin").
MIDINode& mainMidiNode();

}  // namespace corvello
