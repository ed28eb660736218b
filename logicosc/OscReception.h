#pragma once
// How the DAW reaches a node and the node reaches the DAW, each time a
// protocol that talks OSC is selected:
// - the node receives on a port the system chooses (kept for the node's
//   life), written to the log as "OSC: receiving on UDP port <n>" whenever
//   reception starts, and advertised by DNS-SD as "_osc._udp" under this
//   computer's name, so the DAW's OSC set-up can find it by browsing or be
//   given it by hand;
// - the node answers the first source that speaks to it after the selection
//   (see OSCNode::followSender): the DAW must send from the port it listens
//   on (one socket for both directions, as OSC applications usually do).
// The registration is kept in the node's serviceRef; withdrawing the OSC side
// releases it, and the next selection advertises again. Failures leave a line
// on the log and the program running without OSC reception.

#include "logicosc/OSCNode.h"

namespace corvello {

void openForDaw(OSCNode& node);

}  // namespace corvello
