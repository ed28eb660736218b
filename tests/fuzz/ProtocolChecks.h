#pragma once
// What a host protocol must never do, whatever it is fed: write invalid MIDI
// towards the DAW, name a negative port, or send the remote a record the
// wire cannot carry. Each check aborts (see FuzzCheck.h).

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/MIDINode.h"
#include "core/RecordSink.h"
#include "link/WireFormat.h"
#include "tests/support/FuzzCheck.h"

namespace corvello::fuzz {

// Data bytes that follow a status byte; -1 for a status that cannot start a
// message (undefined, or F7 without its F0). F0 is framed separately.
inline int midiDataLength(std::uint8_t status)
{
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 1 : 2;  // program change and channel pressure take one
    switch (status) {
    case 0xF1:
    case 0xF3: return 1;
    case 0xF2: return 2;
    case 0xF6:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
    case 0xFF: return 0;
    default: return -1;
    }
}

// One write to the DAW's port: whole messages back to back. Each starts with
// a status byte, or continues a channel message's running status, and has
// exactly the data bytes its status takes, all below 0x80; system exclusive
// is framed F0 .. F7 with only data bytes between. A write never starts with
// a data byte: running status does not carry from one write to the next.
inline bool isValidMidiWrite(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return false;
    std::uint8_t running = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::uint8_t status = bytes[at];
        if (status < 0x80) {
            if (running == 0)
                return false;
            status = running;
        } else {
            ++at;
        }
        if (status == 0xF0) {
            while (at < bytes.size() && bytes[at] < 0x80)
                ++at;
            if (at == bytes.size() || bytes[at] != 0xF7)
                return false;
            ++at;
            running = 0;
            continue;
        }
        const int length = midiDataLength(status);
        if (length < 0 || bytes.size() - at < static_cast<std::size_t>(length))
            return false;
        for (int i = 0; i < length; ++i)
            if (bytes[at + i] >= 0x80)
                return false;
        at += static_cast<std::size_t>(length);
        if (status < 0xF0)
            running = status;
        else if (status < 0xF8)
            running = 0;  // system common ends running status; real time leaves it
    }
    return true;
}

inline void checkMidiWrite(std::int32_t localPort, std::span<const std::uint8_t> bytes)
{
    FUZZ_CHECK(localPort >= 0);
    FUZZ_CHECK(isValidMidiWrite(bytes));
}

// A record for the remote is nothing or one the wire can carry (a 12-bit
// kind, text that fits a packet).
inline void checkRecordForRemote(const MessageRecord& record)
{
    const wire::Admission admission = wire::admit(record);
    FUZZ_CHECK(admission == wire::Admission::Encode || admission == wire::Admission::SkipSilently);
}

// The DAW's side of the protocol's node: checks each write instead of
// sending it; a write beyond the node goes to the node's own refusal.
class CheckedMidiNode : public MIDINode {
public:
    explicit CheckedMidiNode(std::int32_t portCount) : MIDINode(0, portCount) {}

    void send(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length) override
    {
        FUZZ_CHECK(length > 0);
        checkMidiWrite(localPort, {bytes, static_cast<std::size_t>(length)});
        if (localPort >= portCount)
            MIDINode::send(localPort, bytes, length);
    }
};

// The remote's side: checks each record the protocol sends back.
class CheckedRemoteSink : public RecordSink {
public:
    void sendToRemote(MessageRecord record) override { checkRecordForRemote(record); }
};

}  // namespace corvello::fuzz
