#pragma once
// How the DAW reaches a node and the node reaches the DAW, once a protocol
// that talks OSC is selected:
// - the node starts receiving on a port the system chooses, written to
//   stderr as "OSC: receiving on UDP port <n>" and advertised by DNS-SD as
//   "_osc._udp" under this computer's name, so the DAW's OSC set-up can find
//   it by browsing or be given it by hand;
// - the node answers whoever sends to it: the source of the datagrams it
//   receives becomes its peer, so the DAW must send from the port it listens
//   on (one socket for both directions, as OSC applications usually do).
// The registration is kept in the node's serviceRef; withdrawing the OSC side
// releases it, and the next selection advertises again. Reception itself
// goes on until the node is destroyed. Failures leave a line on stderr and
// the program running without OSC reception.

#include "logicosc/OSCNode.h"

namespace corvello {

void openForDaw(OSCNode& node);

}  // namespace corvello
