#pragma once
// The remote as one Mackie Control surface: eight strips with touch faders,
// V-Pots and LED rings, a master fader, a two-row LCD, timecode and
// assignment displays, meters and the Mackie Control button set. Everything
// goes to port offset 0 of the node; SysEx uses the header F0 00 00 66 14.

#include <array>
#include <cstdint>

#include "hostprotocols/HostProtocolMidi.h"

namespace corvello {

class HostProtocolMC : public HostProtocolMidi {
public:
    static constexpr std::size_t kLcdRowLength = 56;
    static constexpr std::size_t kLcdLength = 2 * kLcdRowLength;

    // DAW to remote; the port offset is not used. Messages too short for
    // what their status announces give the nothing kind.
    MessageRecord fromHostMidi(const std::uint8_t* bytes, std::int32_t length, std::int32_t port) override;
    // Remote to DAW; every kind is handled (1), though not every one writes.
    int toHost(MessageRecord record) override;

    virtual void sendVersionReply();
    // The DAW asks once per connection of its surface ports. Answering with
    // the same reply the selection sends wakes a DAW wired after the remote
    // chose this protocol; otherwise it would wait for a second selection.
    virtual void onDeviceQuery() { sendDeviceQueryReply(); }
    virtual void sendConnectionReply(bool accepted);
    // Writes `length` - 1 characters from bytes[1] into the LCD at position
    // bytes[0] (clipped to the LCD) and reports the row or rows touched as kind 1.
    virtual void decodeLcd(const std::uint8_t* bytes, std::int32_t length, MessageRecord& record);
    // Seven-segment characters to text. bytes[0] selects the form: a
    // controller number (bit 6 set: one character in bytes[1]) or a SysEx
    // command (characters up to F7, at most ten, within `length`).
    virtual void decodeSegmentDisplay(const std::uint8_t* bytes, std::int32_t length, MessageRecord& record);
    virtual int noteForKind(std::uint16_t kind, std::int32_t index);
    // 91..95 for rewind, fast forward, stop, play, record; 0 for other indexes.
    virtual int transportNote(std::uint16_t kind, std::int32_t index);

    void sendDeviceQueryReply();

    std::array<std::uint8_t, 7> serialNumber{1, 2, 3, 4, 5, 6, 7};
    std::array<std::uint8_t, kLcdLength> lcd{};
    // Bit 0: the DAW lit the SMPTE lamp; bit 1: the Beats lamp.
    std::uint32_t timeFormatLeds = 0;

private:
    MessageRecord fromSysEx(std::span<const std::uint8_t> message);
    MessageRecord fromNoteOn(std::uint8_t note, std::uint8_t velocity);
    MessageRecord fromControlChange(std::uint8_t status, std::uint8_t controller, std::uint8_t data);
    MessageRecord timeFormatLamp(std::uint8_t note, bool lit);
    void writeSysEx(std::span<const std::uint8_t> body);
    void writeNote(int note, float value);
};

}  // namespace corvello
