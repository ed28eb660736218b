#pragma once
// The kinds of the remote's records that code treats by meaning. These are
// wire values: the remote numbers its controls this way. Buttons that a
// protocol only maps (Mackie notes, HUI switches, Logic OSC names) are rows
// of that protocol's table, not names here.

#include <cstdint>

namespace corvello {

// Producers return this kind when there is nothing to send; every consumer drops it.
inline constexpr std::uint16_t kNothingKind = 0xFFFF;

// Displays.
inline constexpr std::uint16_t kDisplayChunkKind = 2;       // main display, index = first position
inline constexpr std::uint16_t kScribbleKind = 3;           // a strip's four-character name
inline constexpr std::uint16_t kTimeDisplayKind = 4;        // timecode or bars/beats, index = first digit
inline constexpr std::uint16_t kTimeFormatKind = 5;         // which time format the DAW shows
inline constexpr std::uint16_t kAssignmentDisplayKind = 6;  // the two-character assignment display
inline constexpr std::uint16_t kLcdKind = 185;              // text at an LCD position

// Continuous controls.
inline constexpr std::uint16_t kPingKind = 7;
inline constexpr std::uint16_t kJogKind = 8;    // signed steps
inline constexpr std::uint16_t kFaderKind = 9;  // 0..1, index = strip (8: master)
inline constexpr std::uint16_t kVPotKind = 10;  // signed steps towards the DAW, ring code from it

// Strip buttons, index = strip.
inline constexpr std::uint16_t kFaderTouchKind = 12;
inline constexpr std::uint16_t kMuteKind = 13;
inline constexpr std::uint16_t kSoloKind = 14;
inline constexpr std::uint16_t kRecordArmKind = 15;
inline constexpr std::uint16_t kSelectKind = 17;
inline constexpr std::uint16_t kVPotPressKind = 19;  // the send's mute in Logic's send mode

// Meters: eight kinds, all sent over the metering channel.
inline constexpr std::uint16_t kFirstMeterKind = 96;
inline constexpr std::uint16_t kLastMeterKind = 103;
inline constexpr std::uint16_t kFirstPeakMeterKind = 169;
inline constexpr std::uint16_t kFirstClipKind = 177;  // Mackie's overload lamp

inline constexpr std::uint16_t kDialogNoticeKind = 165;
// Numbered buttons: 0-4 rewind, fast forward, stop, play, record; the
// protocols' tables give the rest.
inline constexpr std::uint16_t kButtonKind = 193;
inline constexpr std::uint16_t kModeLampKind = 204;  // Logic's knob assignment: pan (0) or a send slot
inline constexpr std::uint16_t kSendNameKind = 205;

// Kinds the routing core handles itself.
inline constexpr std::uint16_t kHostSelectionKind = 186;
inline constexpr std::uint16_t kDesktopKind = 210;
inline constexpr std::uint16_t kVersionQueryKind = 216;
inline constexpr std::uint16_t kVersionReplyKind = 217;

inline constexpr bool isMeterKind(std::uint16_t kind) { return kind >= kFirstMeterKind && kind <= kLastMeterKind; }

}  // namespace corvello
