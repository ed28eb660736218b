#include "hostprotocols/HuiSwitchTable.h"

#include <algorithm>
#include <iterator>

namespace corvello::hui {
namespace {

// The record's index in: the zone's number. Out: any index presses the switch.
constexpr std::int32_t kZoneIndex = -1;

struct Entry {
    int zone;
    int port;
    std::uint16_t kind;
    std::int32_t index;
    bool outOnly;  // a switch the remote presses whose lamp the DAW never lights
};

constexpr Entry both(int zone, int port, std::uint16_t kind, std::int32_t index = kZoneIndex)
{
    return {zone, port, kind, index, false};
}
constexpr Entry out(int zone, int port, std::uint16_t kind, std::int32_t index = kZoneIndex)
{
    return {zone, port, kind, index, true};
}

constexpr Entry kTable[] = {
    both(8, 0, 54), both(8, 1, 52), both(8, 2, 68), both(8, 3, 65),
    both(8, 4, 55), both(8, 5, 53), both(8, 6, 69), both(8, 7, 64),
    both(9, 0, 106), both(9, 1, 105), both(9, 2, 104), both(9, 3, 109), both(9, 4, 108), both(9, 5, 107),
    out(10, 0, 30), out(10, 1, 28), out(10, 2, 31), out(10, 3, 29),
    both(11, 0, 117), both(11, 1, 116), both(11, 2, 110), both(11, 3, 115),
    both(11, 4, 114), both(11, 5, 113), both(11, 6, 112), both(11, 7, 111),
    both(12, 0, 121), both(12, 1, 56), both(12, 2, 131), both(12, 3, 32),
    both(12, 4, 122), both(12, 5, 136), both(12, 6, 129),
    both(13, 0, 88), both(13, 1, 89), both(13, 2, 91), both(13, 3, 90),
    both(13, 4, 87), both(13, 5, 92), both(13, 6, 93),
    // Transport.
    both(14, 1, 193, 0), both(14, 2, 193, 1), both(14, 3, 193, 2), both(14, 4, 193, 3), both(14, 5, 193, 4),
    out(14, 1, 77), out(14, 2, 78), out(14, 3, 79), out(14, 4, 80), out(14, 5, 81),
    both(15, 0, 193, 6), both(15, 1, 193, 7), both(15, 2, 193, 112), both(15, 3, 193, 8), both(15, 4, 193, 9),
    out(15, 0, 143, 5), out(15, 1, 143, 6), out(15, 2, 143, 3), out(15, 3, 143, 2), out(15, 4, 143, 4),
    both(16, 0, 139, 0), both(16, 1, 143, 0), both(16, 2, 143, 7), both(16, 3, 143, 8), both(16, 4, 143, 1),
    out(16, 2, 193, 10), out(16, 3, 193, 11),
    both(23, 0, 123), both(23, 1, 124), both(23, 2, 125), both(23, 3, 126), both(23, 4, 127), both(23, 5, 128),
    both(24, 0, 62), both(24, 1, 60), both(24, 2, 58), both(24, 3, 57), both(24, 4, 61), both(24, 5, 59),
    both(25, 1, 135), both(25, 2, 130), both(25, 3, 132), both(25, 4, 133), both(25, 5, 134),
    both(26, 0, 158), both(26, 1, 159), both(26, 2, 162), both(26, 3, 160), both(26, 4, 161), both(26, 5, 157),
    out(27, 0, 36), out(27, 1, 37), out(27, 2, 38), out(27, 3, 39),
    out(27, 4, 40), out(27, 5, 41), out(27, 6, 42), both(27, 7, 43),
    out(27, 0, 0), out(27, 1, 1), out(27, 2, 2), out(27, 3, 3), out(27, 4, 4), out(27, 5, 5), out(27, 6, 6),
    both(28, 0, 148), both(28, 1, 149), both(28, 2, 150), both(28, 3, 151),
    both(28, 4, 152), both(28, 5, 153), both(28, 6, 154), both(28, 7, 155),
};

constexpr Switch kKeypad[kKeypadKeys] = {
    {19, 0}, {19, 1}, {19, 3}, {19, 6}, {19, 2}, {19, 4}, {19, 7}, {21, 0}, {21, 1},
    {21, 2}, {21, 3}, {21, 4}, {21, 5}, {21, 6}, {21, 7}, {19, 5}, {20, 0}, {20, 1},
};

}  // namespace

std::optional<int> stripPortForKind(std::uint16_t kind)
{
    const auto* found = std::find(std::begin(kStripKinds), std::end(kStripKinds), kind);
    if (found == std::end(kStripKinds))
        return std::nullopt;
    return static_cast<int>(found - std::begin(kStripKinds));
}

std::optional<Control> controlForLamp(int zone, int port)
{
    for (const Entry& e : kTable)
        if (!e.outOnly && e.zone == zone && e.port == port)
            return Control{e.kind, e.index == kZoneIndex ? zone : e.index};
    return std::nullopt;
}

std::optional<Switch> switchForControl(std::uint16_t kind, std::int32_t index)
{
    for (const Entry& e : kTable)
        if (e.kind == kind && (e.index == kZoneIndex || e.index == index))
            return Switch{e.zone, e.port};
    return std::nullopt;
}

std::optional<Switch> keypadKey(std::int32_t key)
{
    if (key < 0 || key >= kKeypadKeys)
        return std::nullopt;
    return kKeypad[key];
}

}  // namespace corvello::hui
