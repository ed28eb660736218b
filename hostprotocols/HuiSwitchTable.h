#pragma once
// HUI addresses every switch and lamp by zone and port. This table says which
// of the remote's records each one is, in both directions: the DAW lighting a
// lamp (in) and the remote pressing a switch (out). Zones 0-7 are the channel
// strips; the rest are the surface's sections.

#include <cstdint>
#include <optional>

namespace corvello::hui {

struct Switch {
    int zone;
    int port;
};

struct Control {
    std::uint16_t kind;
    std::int32_t index;
};

inline constexpr int kStrips = 8;

// Strip switches: port p of a strip's zone is kind kStripKinds[p].
inline constexpr std::uint16_t kStripKinds[kStrips] = {12, 17, 13, 14, 18, 19, 20, 15};
inline constexpr int kStripSelectPort = 4;

// The port of a strip switch kind, or nothing for kinds that are not one.
std::optional<int> stripPortForKind(std::uint16_t kind);

// The remote's control for a lamp in zones 8 and above; its index is the
// zone unless the table names one. Nothing for lamps the remote does not show.
std::optional<Control> controlForLamp(int zone, int port);

// The switch that a record of zones 8 and above presses.
std::optional<Switch> switchForControl(std::uint16_t kind, std::int32_t index);

// The numeric keypad, keys numbered 0-17 as the remote numbers them.
inline constexpr int kKeypadKeys = 18;
inline constexpr int kKeypadPointKey = 15;
std::optional<Switch> keypadKey(std::int32_t key);

}  // namespace corvello::hui
