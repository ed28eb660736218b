#pragma once
// Mackie Control lights its lamps and reads its buttons by note number. This
// table says which of the remote's records each note is, in both directions:
// the DAW lighting a lamp (from the DAW) and the remote pressing a button
// (towards it). The time format lamps (notes 0x71, 0x72) report a combined
// state and are handled apart.

#include <cstdint>
#include <optional>

namespace corvello::mackie {

struct Button {
    std::uint16_t kind;
    std::int32_t index;
};

inline constexpr std::uint8_t kSmpteLampNote = 0x71;
inline constexpr std::uint8_t kBeatsLampNote = 0x72;

// The remote's button for a lamp the DAW lights; nothing for notes the remote
// does not show.
std::optional<Button> buttonForNote(int note);

// The note that a record of `kind` presses. Strip and transport buttons need
// an index the surface has; other buttons ignore it. Kinds the table does not
// list take note (kind + 18) mod 256, nothing when that is no data byte.
std::optional<int> noteForButton(std::uint16_t kind, std::int32_t index);

}  // namespace corvello::mackie
