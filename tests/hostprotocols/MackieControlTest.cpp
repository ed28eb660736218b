// Mackie Control both ways, against a node that records the bytes written.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "hostprotocols/HostProtocolMC.h"
#include "tests/hostprotocols/ProtocolTables.h"

namespace corvello {
namespace {

const Bytes kDeviceQueryReply = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x01, 0x01, 0x02, 0x03,
                                 0x04, 0x05, 0x06, 0x07, 0x41, 0x42, 0x43, 0x44, 0xF7};

struct FromDaw {
    Bytes message;
    MessageRecord expected;
};

TEST(MackieControlFromDaw, TranslatesEachMessageKind)
{
    const FromDaw cases[] = {
        // Faders: 14-bit pitch bend on channels 1-9.
        {{0xE3, 0x00, 0x40}, number(9, 3, 8192.0f / 16383)},
        {{0xE8, 0x7F, 0x7F}, number(9, 8, 1.0f)},
        {{0xE9, 0x7F, 0x7F}, MessageRecord::nothing()},
        // Meters: levels 0-12, 14 overload, 15 overload cleared, 13 nothing.
        {{0xD0, 0x2C}, number(96, 2, 1.0f)},
        {{0xD0, 0x76}, number(96, 7, 0.5f)},
        {{0xD0, 0x2E}, number(177, 2, 1.0f)},
        {{0xD0, 0x2F}, number(177, 2, 0.0f)},
        {{0xD0, 0x2D}, MessageRecord::nothing()},
        {{0xD1, 0x2C}, MessageRecord::nothing()},
        // V-Pot rings, on channel 1 only.
        {{0xB0, 0x33, 0x40}, number(10, 3, 0.0f)},
        {{0xB0, 0x30, 0x16}, number(10, 0, 11010.0f + 6.0f / 11.0f)},
        {{0xB0, 0x37, 0x7B}, number(10, 7, 11130.0f + 11.0f / 6.0f)},
        {{0xBF, 0x30, 0x16}, MessageRecord::nothing()},
        // Timecode and assignment digits as controllers; 0x49 is the leftmost.
        {{0xBF, 0x49, 0x41}, text(4, 0, "\xC1")},
        {{0xB0, 0x40, 0x35}, text(4, 9, "5")},
        {{0xB0, 0x4A, 0x4B}, text(6, 1, "K")},  // decimal point dropped
        {{0xB0, 0x4B, 0x31}, text(6, 0, "1")},
        {{0xB0, 0x4C, 0x31}, MessageRecord::nothing()},
        // The same displays as SysEx, rightmost character first.
        {{0xF0, 0x00, 0x00, 0x66, 0x14, 0x10, 0x31, 0x32, 0x33, 0x34, 0xF7}, text(4, 6, "4321")},
        {{0xF0, 0x00, 0x00, 0x66, 0x14, 0x11, 0x01, 0x42, 0xF7}, text(6, 8, "\xC2" "A")},
        {{0xF0, 0x00, 0x00, 0x66, 0x14, 0x10, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x31, 0x32, 0xF7},
         text(4, 0, "1000000000")},  // at most ten characters
        // LCD text up to the closing F7, at its position.
        {{0xF0, 0x00, 0x00, 0x66, 0x14, 0x12, 0x38, 'L', '5', '0', 0xF7}, text(185, 0x38, "L50")},
        {{0xF0, 0x00, 0x00, 0x66, 0x14, 0x12, 0x00, 0xF7}, text(185, 0, "")},
        {{0xF0, 0x00, 0x00, 0x66, 0x14, 0x7E, 0x00, 0xF7}, MessageRecord::nothing()},
        // Lamps, channel 1 only.
        {{0x90, 0x5E, 0x7F}, number(193, 3, 1.0f)},
        {{0x90, 0x5B, 0x00}, number(193, 0, 0.0f)},
        {{0x90, 0x4D, 0x7F}, number(59, 0, 1.0f)},
        {{0x90, 0x00, 0x01}, number(15, 0, 1.0f)},
        {{0x90, 0x0F, 0x7F}, number(14, 7, 1.0f)},
        {{0x90, 0x13, 0x7F}, number(13, 3, 1.0f)},
        {{0x90, 0x1C, 0x7F}, number(17, 4, 1.0f)},
        {{0x90, 0x27, 0x7F}, number(19, 7, 1.0f)},
        {{0x90, 0x2A, 0x7F}, number(110, 0, 1.0f)},
        {{0x90, 0x2E, 0x7F}, number(28, 0, 1.0f)},
        {{0x90, 0x46, 0x7F}, number(52, 0, 1.0f)},
        {{0x90, 0x4F, 0x7F}, number(63, 0, 1.0f)},
        {{0x90, 0x5A, 0x7F}, number(76, 0, 1.0f)},
        {{0x90, 0x64, 0x7F}, number(91, 0, 1.0f)},
        {{0x90, 0x74, 0x7F}, number(209, 0, 1.0f)},
        {{0x90, 0x40, 0x7F}, MessageRecord::nothing()},
        {{0x90, 0x68, 0x7F}, MessageRecord::nothing()},
        {{0x90, 0x7F, 0x7F}, MessageRecord::nothing()},
        {{0x91, 0x5E, 0x7F}, MessageRecord::nothing()},
        {{0x80, 0x5E, 0x00}, MessageRecord::nothing()},
    };
    for (const FromDaw& c : cases) {
        Wired<HostProtocolMC> mc;
        SCOPED_TRACE(testing::PrintToString(c.message));
        EXPECT_EQ(mc.fromHost(c.message), c.expected);
        EXPECT_TRUE(mc.node.writes.empty());
    }
}

TEST(MackieControlFromDaw, TimeFormatLampsReportTheOneFormatLit)
{
    struct Step { Bytes message; float format; };
    const Step steps[] = {
        {{0x90, 0x71, 0x7F}, 1.0f},  // SMPTE
        {{0x90, 0x72, 0x7F}, 0.0f},  // both lit
        {{0x90, 0x71, 0x00}, 2.0f},  // Beats
        {{0x90, 0x72, 0x00}, 0.0f},  // neither
    };
    Wired<HostProtocolMC> mc;
    for (const Step& s : steps)
        EXPECT_EQ(mc.fromHost(s.message), number(5, 0, s.format)) << testing::PrintToString(s.message);
}

TEST(MackieControlHandshake, RepliesByteForByte)
{
    Wired<HostProtocolMC> mc;

    // Selecting the protocol introduces the surface.
    EXPECT_EQ(mc.protocol.toHost(number(kHostSelectionKind, 0, 0.0f)), 1);
    EXPECT_EQ(mc.node.take(), Writes{at0(kDeviceQueryReply)});

    // The DAW's device query gets the same introduction (a DAW wired after
    // the selection wakes up on it); its host connection reply is confirmed.
    EXPECT_TRUE(mc.fromHost({0xF0, 0x00, 0x00, 0x66, 0x14, 0x00, 0xF7}).isNothing());
    EXPECT_EQ(mc.node.take(), Writes{at0(kDeviceQueryReply)});
    // Queries for extenders and other models, another maker's command 00, or
    // a message cut short are not answered.
    for (const Bytes& other : {Bytes{0xF0, 0x00, 0x00, 0x66, 0x15, 0x00, 0xF7}, Bytes{0xF0, 0x00, 0x00, 0x66, 0x10, 0x00, 0xF7},
                               Bytes{0xF0, 0x00, 0x00, 0x66, 0x11, 0x00, 0xF7}, Bytes{0xF0, 0x00, 0x00, 0x67, 0x14, 0x00, 0xF7},
                               Bytes{0xF0, 0x7F, 0x00, 0x66, 0x14, 0x00, 0xF7}, Bytes{0xF0, 0x00, 0x00, 0x66, 0x14, 0x00}}) {
        EXPECT_TRUE(mc.fromHost(other).isNothing());
        EXPECT_TRUE(mc.node.take().empty()) << testing::PrintToString(other);
    }
    EXPECT_TRUE(mc.fromHost({0xF0, 0x00, 0x00, 0x66, 0x14, 0x02, 1, 2, 3, 4, 5, 6, 7, 9, 9, 9, 9, 0xF7}).isNothing());
    EXPECT_EQ(mc.node.take(), Writes{at0({0xF0, 0x00, 0x00, 0x66, 0x14, 0x03, 1, 2, 3, 4, 5, 6, 7, 0xF7})});

    // A version request is answered only in its exact eight-byte form.
    const Bytes versionReply = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x14, 0x56, 0x31, 0x2E, 0x30, 0x30, 0xF7};
    EXPECT_TRUE(mc.fromHost({0xF0, 0x00, 0x00, 0x66, 0x14, 0x13, 0x00, 0xF7}).isNothing());
    EXPECT_EQ(mc.node.take(), Writes{at0(versionReply)});
    for (const Bytes& ignored : {Bytes{0xF0, 0x00, 0x00, 0x66, 0x14, 0x13, 0x00, 0x00, 0xF7},
                                 Bytes{0xF0, 0x00, 0x00, 0x66, 0x14, 0x13, 0xF7},
                                 Bytes{0xF0, 0x00, 0x00, 0x66, 0x14, 0x13, 0x01, 0xF7}}) {
        EXPECT_TRUE(mc.fromHost(ignored).isNothing());
        EXPECT_TRUE(mc.node.take().empty()) << testing::PrintToString(ignored);
    }

    mc.protocol.sendConnectionReply(false);
    EXPECT_EQ(mc.node.take(), Writes{at0({0xF0, 0x00, 0x00, 0x66, 0x14, 0x04, 1, 2, 3, 4, 5, 6, 7, 0xF7})});
}

TEST(MackieControlHandshake, WritesNothingBeforeTheOutputIsSet)
{
    HostProtocolMC mc;
    EXPECT_EQ(mc.toHost(number(kHostSelectionKind, 0, 0.0f)), 1);
    EXPECT_EQ(mc.toHost(number(9, 0, 0.5f)), 1);
    const std::uint8_t connection[] = {0xF0, 0x00, 0x00, 0x66, 0x14, 0x02, 0xF7};
    EXPECT_TRUE(mc.fromHostMidi(connection, sizeof connection, 0).isNothing());
}

TEST(MackieControlToDaw, WritesEachKind)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ToDaw cases[] = {
        // Faders, written twice; positions outside 0..1 are clamped.
        {number(9, 0, 0.5f), {at0({0xE0, 0x7F, 0x3F}), at0({0xE0, 0x7F, 0x3F})}},
        {number(9, 0, 1.0f), {at0({0xE0, 0x7F, 0x7F}), at0({0xE0, 0x7F, 0x7F})}},
        {number(9, 8, 0.0f), {at0({0xE8, 0x00, 0x00}), at0({0xE8, 0x00, 0x00})}},
        {number(9, 1, 7.5f), {at0({0xE1, 0x7F, 0x7F}), at0({0xE1, 0x7F, 0x7F})}},
        {number(9, 1, -0.5f), {at0({0xE1, 0x00, 0x00}), at0({0xE1, 0x00, 0x00})}},
        {number(9, 1, nan), {at0({0xE1, 0x00, 0x00}), at0({0xE1, 0x00, 0x00})}},
        {number(9, 16, 0.5f), {}},
        {number(9, -1, 0.5f), {}},
        // Jog and V-Pots: bit 6 marks a step down; zero counts as down.
        {number(8, 0, 0.0f), {at0({0xB0, 0x3C, 0x40})}},
        {number(8, 0, -3.0f), {at0({0xB0, 0x3C, 0x43})}},
        {number(8, 0, 5.9f), {at0({0xB0, 0x3C, 0x05})}},
        {number(8, 0, -500.0f), {at0({0xB0, 0x3C, 0x7F})}},
        {number(10, 2, 0.0f), {at0({0xB0, 0x12, 0x40})}},
        {number(10, 2, 2.0f), {at0({0xB0, 0x12, 0x02})}},
        {number(10, 2, -1.0f), {at0({0xB0, 0x12, 0x41})}},
        {number(10, 0x70, 2.0f), {}},
        // Strip buttons by index.
        {number(12, 3, 1.0f), {at0({0x90, 0x6B, 0x7F})}},
        {number(13, 0, 1.0f), {at0({0x90, 0x10, 0x7F})}},
        {number(14, 7, 0.0f), {at0({0x90, 0x0F, 0x00})}},
        {number(15, 1, 1.0f), {at0({0x90, 0x01, 0x7F})}},
        {number(17, 2, 1.0f), {at0({0x90, 0x1A, 0x7F})}},
        {number(19, 5, nan), {at0({0x90, 0x25, 0x00})}},
        {number(13, 200, 1.0f), {}},
        {number(15, -1, 1.0f), {}},
        // Transport; indexes without a button write nothing.
        {number(193, 3, 1.0f), {at0({0x90, 0x5E, 0x7F})}},
        {number(193, 0, 0.0f), {at0({0x90, 0x5B, 0x00})}},
        {number(193, 5, 1.0f), {}},
        {number(193, -1, 1.0f), {}},
        // Other buttons by kind, index ignored.
        {number(59, 4, 1.0f), {at0({0x90, 0x4D, 0x7F})}},
        {number(110, 0, 1.0f), {at0({0x90, 0x2A, 0x7F})}},
        {number(28, 0, 1.0f), {at0({0x90, 0x2E, 0x7F})}},
        {number(63, 0, 1.0f), {at0({0x90, 0x4F, 0x7F})}},
        {number(76, 0, 1.0f), {at0({0x90, 0x5A, 0x7F})}},
        {number(87, 0, 1.0f), {at0({0x90, 0x60, 0x7F})}},
        {number(95, 0, 1.0f), {at0({0x90, 0x67, 0x7F})}},
        // Unlisted kinds take the kind + 18 rule; notes beyond 127 are not written.
        {number(5, 0, 1.0f), {at0({0x90, 0x17, 0x7F})}},
        {number(300, 0, 1.0f), {at0({0x90, 0x3E, 0x7F})}},
        {number(200, 0, 1.0f), {}},
        {number(208, 0, 1.0f), {}},
    };
    expectWritesFor<HostProtocolMC>(cases);
}

TEST(MackieControlToDaw, ButtonsTheDawLightsMapBackToTheirNotes)
{
    Wired<HostProtocolMC> mc;
    for (int note = 0x28; note <= 0x65; ++note) {
        const MessageRecord lamp = mc.fromHost({0x90, static_cast<std::uint8_t>(note), 0x7F});
        if (lamp.isNothing() || lamp.kind == 193)
            continue;
        mc.protocol.toHost(lamp);
        EXPECT_EQ(mc.node.take(), Writes{at0({0x90, static_cast<std::uint8_t>(note), 0x7F})}) << "note " << note;
    }
}

}  // namespace
}  // namespace corvello
