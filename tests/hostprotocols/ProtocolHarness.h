#pragma once
// A host protocol wired to a MIDI node that records its writes and a
// translator stand-in that records the extra records; no server involved.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/MIDINode.h"
#include "core/RecordSink.h"

namespace corvello {

struct MidiWrite {
    std::int32_t port;
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const MidiWrite&, const MidiWrite&) = default;
};

using Bytes = std::vector<std::uint8_t>;
using Writes = std::vector<MidiWrite>;

inline std::ostream& operator<<(std::ostream& out, const MidiWrite& w)
{
    out << "port " << w.port << ':';
    for (std::uint8_t b : w.bytes)
        out << ' ' << std::hex << std::uppercase << (b < 0x10 ? "0" : "") << int(b) << std::dec;
    return out;
}

inline void PrintTo(const MessageRecord& r, std::ostream* out)
{
    *out << "{kind " << r.kind << ", index " << r.index << ", value " << r.value << ", text \"" << r.text
         << "\" (" << r.text.size() << " bytes)}";
}

class RecordingMidiNode : public MIDINode {
public:
    RecordingMidiNode() : MIDINode(0) {}
    void send(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length) override
    {
        writes.push_back({localPort, Bytes(bytes, bytes + length)});
    }
    Writes take() { return std::exchange(writes, {}); }

    Writes writes;
};

class RecordingSink : public RecordSink {
public:
    void sendToRemote(MessageRecord record) override { records.push_back(std::move(record)); }
    std::vector<MessageRecord> take() { return std::exchange(records, {}); }

    std::vector<MessageRecord> records;
};

// The protocol as a Translator sets it up: translator, then MIDI output.
template <typename Protocol>
struct Wired {
    Wired()
    {
        protocol.translator = &sink;
        protocol.setMidiOutput(&node);
    }

    // The message is copied into a block of exactly its size, so that a read
    // past its end is caught by AddressSanitizer.
    MessageRecord fromHost(const Bytes& message, std::int32_t port = 0)
    {
        const auto block = std::make_unique<std::uint8_t[]>(message.size());
        std::copy(message.begin(), message.end(), block.get());
        return protocol.fromHostMidi(block.get(), static_cast<std::int32_t>(message.size()), port);
    }

    RecordingMidiNode node;
    RecordingSink sink;
    Protocol protocol;
};

inline MidiWrite at0(Bytes bytes) { return {0, std::move(bytes)}; }

// A HUI system-exclusive message: header, command, payload, F7. Built with its
// final size reserved, which also keeps GCC's -O2 bounds check quiet.
template <typename Payload>
Bytes huiSysEx(std::uint8_t command, const Payload& payload)
{
    const Bytes header = {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, command};
    Bytes message;
    message.reserve(header.size() + payload.size() + 1);
    message.insert(message.end(), header.begin(), header.end());
    message.insert(message.end(), payload.begin(), payload.end());
    message.push_back(0xF7);
    return message;
}

inline MessageRecord number(std::uint16_t kind, std::int32_t index, float value)
{
    return MessageRecord::number(kind, index, value);
}

inline MessageRecord text(std::uint16_t kind, std::int32_t index, std::string t)
{
    return MessageRecord::withText(kind, index, std::move(t));
}

}  // namespace corvello
