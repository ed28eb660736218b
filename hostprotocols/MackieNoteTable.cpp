#include "hostprotocols/MackieNoteTable.h"

#include "core/RecordKinds.h"

namespace corvello::mackie {
namespace {

enum Ways : std::uint8_t { kToDaw = 1, kFromDaw = 2, kBothWays = kToDaw | kFromDaw };

// A run of consecutive notes: either one kind whose index counts along the
// run (a strip row, the transport), or consecutive kinds with index 0.
struct Run {
    int firstNote;
    int count;
    std::uint16_t firstKind;
    bool indexed;
    Ways ways;

    int lastNote() const { return firstNote + count - 1; }
    bool holdsNote(int note) const { return note >= firstNote && note <= lastNote(); }
    bool holdsKind(std::uint16_t kind) const
    {
        return indexed ? kind == firstKind : kind >= firstKind && kind < firstKind + count;
    }
};

constexpr Run indexed(int firstNote, std::uint16_t kind, int count, Ways ways = kBothWays)
{
    return {firstNote, count, kind, true, ways};
}
constexpr Run buttons(int firstNote, std::uint16_t firstKind, int count = 1, Ways ways = kBothWays)
{
    return {firstNote, count, firstKind, false, ways};
}

constexpr int kStrips = 8;

constexpr Run kTable[] = {
    indexed(0x00, kRecordArmKind, kStrips),
    indexed(0x08, kSoloKind, kStrips),
    indexed(0x10, kMuteKind, kStrips),
    indexed(0x18, kSelectKind, kStrips),
    indexed(0x20, kVPotPressKind, kStrips),
    // Assignment.
    buttons(0x28, 111), buttons(0x29, 112), buttons(0x2A, 110), buttons(0x2B, 113), buttons(0x2C, 114),
    buttons(0x2D, 115),
    // Bank and channel left and right, flip, global view; then buttons without lamps.
    buttons(0x2E, 28, 6),
    buttons(0x34, 34, 18, kToDaw),
    // Modifiers.
    buttons(0x46, 52, 4),
    // Automation modes.
    buttons(0x4A, 58), buttons(0x4B, 61), buttons(0x4C, 62), buttons(0x4D, 59), buttons(0x4E, 60),
    buttons(0x4F, 63, 5),
    buttons(0x54, 70, 7),
    // Rewind, fast forward, stop, play, record.
    indexed(0x5B, kButtonKind, 5),
    buttons(0x60, 87, 4, kToDaw),
    buttons(0x64, 91, 2),
    buttons(0x66, 94, 2, kToDaw),
    // Fader touch, strips and master.
    indexed(0x68, kFaderTouchKind, kStrips + 1, kToDaw),
    buttons(0x73, 208, 2, kFromDaw),
};

constexpr int kDefaultNoteOffset = 18;
constexpr int kDataMax = 0x7F;

}  // namespace

std::optional<Button> buttonForNote(int note)
{
    for (const Run& run : kTable) {
        if (!(run.ways & kFromDaw) || !run.holdsNote(note))
            continue;
        const int offset = note - run.firstNote;
        if (run.indexed)
            return Button{run.firstKind, offset};
        return Button{static_cast<std::uint16_t>(run.firstKind + offset), 0};
    }
    return std::nullopt;
}

std::optional<int> noteForButton(std::uint16_t kind, std::int32_t index)
{
    for (const Run& run : kTable) {
        if (!(run.ways & kToDaw) || !run.holdsKind(kind))
            continue;
        if (!run.indexed)
            return run.firstNote + (kind - run.firstKind);
        // An index beyond the row would press another row's button.
        if (index < 0 || index >= run.count)
            return std::nullopt;
        return run.firstNote + index;
    }
    const int note = (kind + kDefaultNoteOffset) % 256;
    if (note > kDataMax)
        return std::nullopt;
    return note;
}

}  // namespace corvello::mackie
