#pragma once
// Drives a host protocol with the remote's records as the link decodes them:
// the fuzzer's input is the link's TCP stream, taken by the link's own
// parser (a malformed stream ends the input, as it ends the connection), and
// every record goes to the protocol's toHost in arrival order. What must
// hold, checked as it happens:
// - every MIDI write the protocol asks for is valid MIDI (see
//   isValidMidiWrite) and names a port of its node (the node the program
//   gives that protocol) or one beyond it, never a negative one: HUI puts
//   strips 8 and up on further ports, for a wider node than the program
//   makes, and the node refuses those (MIDINode::send, shown with a real
//   server in tests/routing/PortTableServerTest.cpp), so they reach no port;
// - every record the protocol sends back to the remote is one the wire can
//   carry (a 12-bit kind, text that fits a packet) or nothing.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/WireFormat.h"
#include "tests/fuzz/ProtocolChecks.h"

namespace corvello::fuzz {

// Hands every record the link decodes from `data` to `deliver`, in order,
// until the stream is malformed or ends (an incomplete last packet is left,
// as the link leaves it for more bytes).
template <typename Deliver>
void forEachLinkRecord(const std::uint8_t* data, std::size_t size, Deliver deliver)
{
    std::vector<std::uint8_t> stream(data, data + size);
    wire::parseStream(stream, [&](const MessageRecord& record) { deliver(record); });
}

// A MIDI-carried protocol wired as the program wires it, on a node of
// `portCount` ports, fed the link's records.
template <typename Protocol>
void fuzzMidiToHost(const std::uint8_t* data, std::size_t size, std::int32_t portCount)
{
    CheckedMidiNode node(portCount);
    CheckedRemoteSink remote;
    Protocol protocol;
    protocol.translator = &remote;
    protocol.setMidiOutput(&node);
    forEachLinkRecord(data, size, [&](const MessageRecord& record) { protocol.toHost(record); });
}

}  // namespace corvello::fuzz
