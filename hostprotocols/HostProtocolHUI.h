#pragma once
// The remote as a HUI surface: eight strips (fader, V-Pot and ring, switches,
// meters, four-character scribble strip), the 80-character display sent in
// chunks of ten, the timecode display, the numeric keypad and the zoned switch
// matrix (see HuiSwitchTable.h). The DAW lights a lamp with B0 0C zone then
// B0 2C port; the surface reports a switch with B0 0F zone then B0 2F port.

#include <array>
#include <cstdint>
#include <span>

#include "hostprotocols/HostProtocolMidi.h"
#include "hostprotocols/HuiSwitchTable.h"

namespace corvello {

class HostProtocolHUI : public HostProtocolMidi {
public:
    static constexpr int kStrips = hui::kStrips;
    static constexpr int kDisplayChunks = 8;
    static constexpr int kChunkLength = 10;
    static constexpr int kTimecodeDigits = 10;

    // DAW to remote; the port offset is not used. Meters with a clip change,
    // scribble strips and display chunks hand their records to the translator
    // and return the nothing kind or the meter itself. Data for strips or
    // display chunks beyond the surface's, and timecode longer than its ten
    // digits, is ignored.
    MessageRecord fromHostMidi(const std::uint8_t* bytes, std::int32_t length, std::int32_t port) override;
    // Remote to DAW; returns 1 for every kind. Kinds and transport indexes
    // that name no switch write nothing. Strip messages (kinds 9, 12-20) go to
    // port offset index / 8; everything else to port offset 0.
    int toHost(MessageRecord record) override;

    void setButton(int zone, int port, bool on);
    // Press, 1 ms, release: how the DAW expects a key to be typed.
    void tapButton(int zone, int port);
    // The DAW sends the rightmost digit first.
    MessageRecord decodeTimecode(std::span<const std::uint8_t> digits) const;
    // Stores ten characters of the large display and gives the record for the
    // remote: the chunk's text, or the dialog notice switching on or off.
    // Chunks outside 0-7 are not stored and give the nothing kind.
    MessageRecord storeDisplayChunk(int chunk, std::span<const std::uint8_t, kChunkLength> characters);

    std::int16_t zone = 0;
    std::array<std::uint8_t, kStrips> faderHigh{};
    std::uint8_t dialogShown = 0;
    std::array<std::array<char, kChunkLength + 1>, kDisplayChunks> displayChunks{};
    std::int32_t editTool = -1;
    // Bits 0-2 follow ports 0-2 of the time-format zone.
    std::uint32_t timeFormatLeds = 0;
    // Entry 2s is strip s's left clip flag, 2s + 1 its right.
    std::array<std::uint8_t, 2 * kStrips> clipFlags{};

private:
    MessageRecord fromMeter(std::uint8_t strip, std::uint8_t data);
    MessageRecord fromControlChange(std::uint8_t controller, std::uint8_t data);
    MessageRecord fromLamp(std::uint8_t data);
    MessageRecord fromTimeFormatLamp(int port, bool lit);
    MessageRecord fromSysEx(std::span<const std::uint8_t> message);
    void scribbleStrips(std::span<const std::uint8_t> entries);
    void displayChunksFrom(std::span<const std::uint8_t> entries);
    bool dialogNoticeShowing() const;
    bool dialogNoticeGone() const;

    void writeFader(std::int32_t index, float value);
    void writeStripSwitch(std::int32_t index, int port, bool on);
    void setKeypadKey(std::int32_t key, bool on);
    void tapKeypadKey(std::int32_t key);
    void writeControlChange(std::int32_t port, int controller, int data);
};

}  // namespace corvello
