#pragma once
// The routing: the two translators and the wiring of every node to them.
// The remote link offers every record to the panner translator first; the
// panner translator drives the "Swivo" ports, the host translator
// "Tamberlin" and both OSC nodes.

#include <memory>

#include "core/DesktopCommands.h"
#include "routing/Translator.h"

namespace corvello {

class MIDINode;
class OSCNode;
class RemoteNode;

struct RoutedNodes {
    RemoteNode& link;
    MIDINode& pannerPorts;
    MIDINode& mainPort;
    OSCNode& logicOsc;
    OSCNode& browsedOsc;
};

class Routing {
public:
    // The nodes must outlive the routing; the desktop controller goes to the
    // host translator.
    Routing(const RoutedNodes& nodes, std::unique_ptr<DesktopCommands> desktop);
    Routing(const Routing&) = delete;
    Routing& operator=(const Routing&) = delete;

    Translator& panner() { return panner_; }
    Translator& host() { return host_; }

    // Exit, before the OSC nodes and the desktop go away: see Translator::close.
    void close();

private:
    Translator panner_;
    Translator host_;
};

}  // namespace corvello
