// Mackie Control's buttons and lamps, every note and every kind, against the
// note tables as the protocol documents them, written out here by hand.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <utility>

#include "hostprotocols/HostProtocolMC.h"
#include "tests/hostprotocols/ProtocolTables.h"

namespace corvello {
namespace {

using Button = std::pair<std::uint16_t, std::int32_t>;  // kind, index
using Lamps = std::map<int, Button>;                    // note from the DAW

// A row of eight strip notes: one kind, index = strip.
void strip(Lamps& lamps, int firstNote, std::uint16_t kind)
{
    for (int s = 0; s < 8; ++s)
        lamps[firstNote + s] = {kind, s};
}

// Notes first..last as kinds note + offset, index 0.
void run(Lamps& lamps, int first, int last, int offset)
{
    for (int n = first; n <= last; ++n)
        lamps[n] = {static_cast<std::uint16_t>(n + offset), 0};
}

// The DAW-to-remote note table. Notes 0x71 and 0x72 (time format) are tested apart.
Lamps lampTable()
{
    Lamps lamps;
    strip(lamps, 0x00, 15);  // record arm
    strip(lamps, 0x08, 14);  // solo
    strip(lamps, 0x10, 13);  // mute
    strip(lamps, 0x18, 17);  // select
    strip(lamps, 0x20, 19);  // V-Pot press
    lamps[0x28] = {111, 0}, lamps[0x29] = {112, 0}, lamps[0x2A] = {110, 0};
    lamps[0x2B] = {113, 0}, lamps[0x2C] = {114, 0}, lamps[0x2D] = {115, 0};
    run(lamps, 0x2E, 0x33, -18);
    run(lamps, 0x46, 0x49, -18);
    lamps[0x4A] = {58, 0}, lamps[0x4B] = {61, 0}, lamps[0x4C] = {62, 0}, lamps[0x4D] = {59, 0}, lamps[0x4E] = {60, 0};
    run(lamps, 0x4F, 0x53, -16);
    run(lamps, 0x54, 0x5A, -14);
    for (int n = 0x5B; n <= 0x5F; ++n)
        lamps[n] = {193, n - 0x5B};  // rewind, fast forward, stop, play, record
    lamps[0x64] = {91, 0}, lamps[0x65] = {92, 0};
    lamps[0x73] = {208, 0}, lamps[0x74] = {209, 0};
    return lamps;
}

TEST(MackieControlNotes, EveryNoteFromTheDawLightsItsButton)
{
    const Lamps lamps = lampTable();
    for (int note = 0; note <= 0x7F; ++note) {
        if (note == 0x71 || note == 0x72)
            continue;
        SCOPED_TRACE(testing::Message() << "note " << note);
        const auto found = lamps.find(note);
        for (const std::uint8_t velocity : {0x7F, 0x01, 0x00}) {
            Wired<HostProtocolMC> mc;
            const MessageRecord lamp = mc.fromHost({0x90, static_cast<std::uint8_t>(note), velocity});
            if (found == lamps.end())
                EXPECT_TRUE(lamp.isNothing());
            else
                EXPECT_EQ(lamp, number(found->second.first, found->second.second, velocity > 0 ? 1.0f : 0.0f));
        }
    }
}

// The remote-to-DAW note of a kind at strip or transport index 0, by the
// documented table; nothing where no note is written.
std::optional<int> noteAtIndexZero(int kind)
{
    struct Row { int firstKind, lastKind, firstNote; };
    static constexpr Row kRuns[] = {
        {12, 12, 0x68}, {13, 13, 0x10}, {14, 14, 0x08}, {15, 15, 0x00}, {17, 17, 0x18}, {19, 19, 0x20},
        {28, 55, 0x2E}, {63, 67, 0x4F}, {70, 76, 0x54}, {87, 92, 0x60}, {94, 95, 0x66}, {193, 193, 91},
    };
    static const std::map<int, int> kSingles = {
        {58, 0x4A}, {59, 0x4D}, {60, 0x4E}, {61, 0x4B}, {62, 0x4C},
        {110, 0x2A}, {111, 0x28}, {112, 0x29}, {113, 0x2B}, {114, 0x2C}, {115, 0x2D},
    };
    for (const Row& r : kRuns)
        if (kind >= r.firstKind && kind <= r.lastKind)
            return r.firstNote + (kind - r.firstKind);
    if (const auto single = kSingles.find(kind); single != kSingles.end())
        return single->second;
    const int rule = (kind + 18) % 256;  // any other kind
    return rule <= 0x7F ? std::optional<int>(rule) : std::nullopt;
}

Writes noteWrite(std::optional<int> note, bool pressed)
{
    if (!note)
        return {};
    return {at0({0x90, static_cast<std::uint8_t>(*note), static_cast<std::uint8_t>(pressed ? 0x7F : 0x00)})};
}

TEST(MackieControlNotes, EveryKindTowardsTheDawPressesItsNote)
{
    constexpr int kNotButtons[] = {8, 9, 10, kHostSelectionKind};  // jog, fader, V-Pot, selection
    for (int kind = 0; kind <= 0xFFF; ++kind) {
        if (std::find(std::begin(kNotButtons), std::end(kNotButtons), kind) != std::end(kNotButtons))
            continue;
        SCOPED_TRACE(testing::Message() << "kind " << kind);
        for (const float value : {1.0f, 0.0f}) {
            Wired<HostProtocolMC> mc;
            EXPECT_EQ(mc.protocol.toHost(number(static_cast<std::uint16_t>(kind), 0, value)), 1);
            EXPECT_EQ(mc.node.writes, noteWrite(noteAtIndexZero(kind), value > 0));
        }
    }
}

TEST(MackieControlNotes, IndexedButtonsTakeOnlyIndexesTheSurfaceHas)
{
    struct Row { std::uint16_t kind; int firstNote; int count; };
    const Row rows[] = {
        {13, 0x10, 8}, {14, 0x08, 8}, {15, 0x00, 8}, {17, 0x18, 8}, {19, 0x20, 8},
        {12, 0x68, 9},   // fader touch: eight strips and the master
        {193, 0x5B, 5},  // transport
    };
    for (const Row& r : rows) {
        for (int index = -2; index <= r.count + 1; ++index) {
            Wired<HostProtocolMC> mc;
            mc.protocol.toHost(number(r.kind, index, 1.0f));
            const bool onSurface = index >= 0 && index < r.count;
            EXPECT_EQ(mc.node.writes, noteWrite(onSurface ? std::optional(r.firstNote + index) : std::nullopt, true))
                << "kind " << r.kind << " index " << index;
        }
    }
    // Other buttons ignore the index.
    Wired<HostProtocolMC> mc;
    mc.protocol.toHost(number(59, 40, 1.0f));
    EXPECT_EQ(mc.node.writes, noteWrite(0x4D, true));
}

}  // namespace
}  // namespace corvello
