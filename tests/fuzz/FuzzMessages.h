#pragma once
// Splits a fuzzer's input into MIDI messages from the DAW, so that one input
// can drive a protocol through a sequence (a zone select and its lamp, a
// fader's two bytes). Each message is a length byte followed by up to that
// many bytes, in a block of exactly that size. After each, what the protocol
// sent on must hold (see ProtocolChecks.h): its records for the remote, the
// one returned included, fit the wire, and its answers to the DAW are valid
// MIDI.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/ProtocolChecks.h"
#include "tests/hostprotocols/ProtocolHarness.h"

namespace corvello {

template <typename Protocol, typename EachMessage>
void fuzzFromHostMidi(const std::uint8_t* data, std::size_t size, EachMessage eachMessage)
{
    Wired<Protocol> wired;
    while (size > 0) {
        const std::size_t length = std::min<std::size_t>(data[0], size - 1);
        const Bytes message(data + 1, data + 1 + length);
        data += 1 + length;
        size -= 1 + length;
        fuzz::checkRecordForRemote(wired.fromHost(message, static_cast<std::int32_t>(length & 1)));
        eachMessage(wired.protocol, message);
        for (const MessageRecord& record : wired.sink.records)
            fuzz::checkRecordForRemote(record);
        for (const MidiWrite& write : wired.node.writes)
            fuzz::checkMidiWrite(write.port, write.bytes);
        wired.node.writes.clear();
        wired.sink.records.clear();
    }
}

template <typename Protocol>
void fuzzFromHostMidi(const std::uint8_t* data, std::size_t size)
{
    fuzzFromHostMidi<Protocol>(data, size, [](Protocol&, const Bytes&) {});
}

}  // namespace corvello
