#pragma once
// Maps the global numbers of the virtual MIDI ports onto MIDINode objects and
// starts the virtual MIDI server that serves them.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/MIDINode.h"

namespace corvello {

class MIDIPortTable {
public:
    // Port names in global port order.
    static constexpr const char* kPortNames[] = {"Swivo 1", "Swivo 2", "Tamberlin", nullptr};

    MIDIPortTable() = default;
    MIDIPortTable(const MIDIPortTable&) = delete;
    MIDIPortTable& operator=(const MIDIPortTable&) = delete;

    // Hands out the next `portCount` global ports to a new node. Create every
    // node before the server starts: its thread reads the table unlocked.
    MIDINode* createNode(std::int32_t portCount);
    // Starts the virtual MIDI server with the port names and logs "Ok=true"
    // or "Ok=false". A second server elsewhere is not acted upon: the table
    // and its nodes work all the same, and simply see no traffic.
    bool startServer();
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

// The program's ports, by declaration order rather than by who asks first:
// the panner node owns global ports 0 and 1 ("Swivo 1", "Swivo 2"), the main
// node port 2 ("Tamberlin"). The program starts the server (table.startServer)
// once everything they feed is wired.
struct ProgramPorts {
    MIDIPortTable table;
    MIDINode& panner = *table.createNode(2);
    MIDINode& main = *table.createNode(1);
};

}  // namespace corvello
