#pragma once
// The remote as one Mackie Control surface: eight strips with touch faders,
// V-Pots and LED rings, a master fader, a two-row LCD, timecode and
// assignment displays, meters and the Mackie Control button set. Everything
// goes to port offset 0 of the node; SysEx uses the header F0 00 00 66 14.

#include <array>
#include <cstdint>
#include <span>

#include "hostprotocols/HostProtocolMidi.h"

namespace corvello {

class HostProtocolMC : public HostProtocolMidi {
public:
    // DAW to remote; the port offset is not used. Messages too short for
    // what their status announces give the nothing kind.
    MessageRecord fromHostMidi(const std::uint8_t* bytes, std::int32_t length, std::int32_t port) override;
    // Remote to DAW; every kind is handled (1), though not every one writes.
    int toHost(MessageRecord record) override;

    void sendConnectionReply(bool accepted);

    std::array<std::uint8_t, 7> serialNumber{1, 2, 3, 4, 5, 6, 7};
    // Bit 0: the DAW lit the SMPTE lamp; bit 1: the Beats lamp.
    std::uint32_t timeFormatLeds = 0;

private:
    MessageRecord fromSysEx(std::span<const std::uint8_t> message);
    MessageRecord fromNoteOn(std::uint8_t note, std::uint8_t velocity);
    MessageRecord fromControlChange(std::uint8_t status, std::uint8_t controller, std::uint8_t data);
    MessageRecord timeFormatLamp(std::uint8_t note, bool lit);
    // The surface's introduction: the reply to a device query, also sent when
    // the remote selects the protocol.
    void sendDeviceQueryReply();
    void sendVersionReply();
    void writeSysEx(std::span<const std::uint8_t> body);
    void writeNote(int note, float value);
};

}  // namespace corvello
