// HUI both ways, against a node that records the bytes written and a
// translator stand-in that records the extra records.

#include <gtest/gtest.h>

#include <string>

#include "hostprotocols/HostProtocolHUI.h"
#include "tests/hostprotocols/ProtocolTables.h"

namespace corvello {
namespace {

using namespace std::string_literals;

Bytes sysEx(std::uint8_t command, const std::string& payload) { return huiSysEx(command, payload); }

struct FromDaw {
    std::vector<Bytes> messages;  // the last one's record is checked
    MessageRecord expected;
};

Bytes zoneSelect(int zone) { return {0xB0, 0x0C, static_cast<std::uint8_t>(zone)}; }

TEST(HuiFromDaw, TranslatesEachMessageKind)
{
    const FromDaw cases[] = {
        // Strip lamps: zone = strip.
        {{zoneSelect(3), {0xB0, 0x2C, 0x42}}, number(13, 3, 1.0f)},
        {{zoneSelect(3), {0xB0, 0x2C, 0x02}}, number(13, 3, 0.0f)},
        {{zoneSelect(0), {0xB0, 0x2C, 0x47}}, number(15, 0, 1.0f)},
        {{zoneSelect(5), {0xB0, 0x2C, 0x44}}, number(18, 5, 4.0f)},
        {{zoneSelect(5), {0xB0, 0x2C, 0x24}}, number(18, 5, 1.0f)},
        {{zoneSelect(5), {0xB0, 0x2C, 0x64}}, number(18, 5, 1.0f)},
        {{zoneSelect(5), {0xB0, 0x2C, 0x04}}, number(18, 5, 0.0f)},
        // Section lamps carry the zone as index unless the table names one.
        {{zoneSelect(8), {0xB0, 0x2C, 0x40}}, number(54, 8, 1.0f)},
        {{zoneSelect(0x0E), {0xB0, 0x2C, 0x44}}, number(193, 3, 1.0f)},
        {{zoneSelect(0x0E), {0xB0, 0x2C, 0x40}}, MessageRecord::nothing()},
        {{zoneSelect(0x0F), {0xB0, 0x2C, 0x42}}, number(193, 112, 1.0f)},
        {{zoneSelect(0x10), {0xB0, 0x2C, 0x40}}, number(139, 0, 1.0f)},
        {{zoneSelect(0x10), {0xB0, 0x2C, 0x04}}, number(143, 1, 0.0f)},
        {{zoneSelect(0x19), {0xB0, 0x2C, 0x41}}, number(135, 25, 1.0f)},
        {{zoneSelect(0x1B), {0xB0, 0x2C, 0x47}}, number(43, 27, 1.0f)},
        {{zoneSelect(0x1C), {0xB0, 0x2C, 0x45}}, number(153, 28, 1.0f)},
        {{zoneSelect(0x1B), {0xB0, 0x2C, 0x40}}, MessageRecord::nothing()},  // switch only
        {{zoneSelect(0x0A), {0xB0, 0x2C, 0x40}}, MessageRecord::nothing()},  // switch only
        {{zoneSelect(0x13), {0xB0, 0x2C, 0x40}}, MessageRecord::nothing()},  // keypad
        {{zoneSelect(0x1E), {0xB0, 0x2C, 0x40}}, MessageRecord::nothing()},
        {{zoneSelect(0x16), {0xB0, 0x2C, 0x04}}, number(166, 22, 3.0f)},
        {{{0xB5, 0x0C, 0x03}, {0xBA, 0x2C, 0x42}}, number(13, 3, 1.0f)},  // any channel
        // Faders: high byte remembered per strip, then the low byte; full scale 16352.
        {{{0xB0, 0x03, 0x40}, {0xB0, 0x23, 0x00}}, number(9, 3, 8192.0f / 16352)},
        {{{0xB0, 0x07, 0x7F}, {0xB0, 0x27, 0x60}}, number(9, 7, 1.0f)},
        // V-Pot rings 0-11.
        {{{0xB0, 0x10, 0x16}}, number(10, 0, 11010.0f + 6.0f / 11.0f)},
        {{{0xB0, 0x1B, 0x01}}, number(10, 11, 11000.0f + 1.0f / 11.0f)},
        {{{0xB0, 0x1C, 0x01}}, MessageRecord::nothing()},
        // The DAW's ping.
        {{{0x90, 0x00, 0x00}}, number(7, 0, 0.0f)},
        {{{0x9F, 0x00, 0x00}}, number(7, 0, 0.0f)},
        {{{0x90, 0x00, 0x01}}, MessageRecord::nothing()},
        // Timecode, rightmost digit first: bit 4 the point, bit 5 a blank.
        {{sysEx(0x11, "\x01\x12\x23")}, text(4, 7, " \xB2" "1")},
        {{sysEx(0x11, std::string(10, '\x09'))}, text(4, 0, std::string(10, '9'))},
        {{sysEx(0x11, "")}, text(4, 10, "")},
        {{sysEx(0x7F, "\x01\x02")}, MessageRecord::nothing()},
    };
    for (const FromDaw& c : cases) {
        Wired<HostProtocolHUI> hui;
        MessageRecord last;
        for (const Bytes& m : c.messages)
            last = hui.fromHost(m);
        SCOPED_TRACE(testing::PrintToString(c.messages));
        EXPECT_EQ(last, c.expected);
        EXPECT_TRUE(hui.sink.records.empty());
        EXPECT_TRUE(hui.node.writes.empty());
    }
}

TEST(HuiFromDaw, TimeFormatLampsReportTheHighestLit)
{
    struct Step { std::uint8_t port; float format; };
    const Step steps[] = {{0x40, 1.0f}, {0x41, 3.0f}, {0x42, 2.0f}, {0x02, 3.0f}, {0x47, 3.0f}, {0x01, 1.0f}, {0x00, 0.0f}};
    Wired<HostProtocolHUI> hui;
    hui.fromHost(zoneSelect(0x16));
    for (const Step& s : steps)
        EXPECT_EQ(hui.fromHost({0xB0, 0x2C, s.port}), number(5, 22, s.format)) << int(s.port);
}

TEST(HuiFromDaw, MetersReportClipChangesFirst)
{
    Wired<HostProtocolHUI> hui;
    EXPECT_EQ(hui.fromHost({0xA0, 0x02, 0x4C}), number(96, 2, 1.0f));
    EXPECT_EQ(hui.sink.take(), std::vector{number(177, 2, 1.0f)});

    EXPECT_EQ(hui.fromHost({0xA0, 0x02, 0x4C}), number(96, 2, 1.0f));
    EXPECT_TRUE(hui.sink.take().empty());

    // The right side has a flag of its own.
    EXPECT_EQ(hui.fromHost({0xA0, 0x02, 0x1C}), number(97, 2, 1.0f));
    EXPECT_TRUE(hui.sink.take().empty());
    EXPECT_EQ(hui.fromHost({0xA5, 0x02, 0x56}), number(97, 2, 0.5f));
    EXPECT_EQ(hui.sink.take(), std::vector{number(178, 2, 1.0f)});

    // Peak form, and the left clip clearing.
    EXPECT_EQ(hui.fromHost({0xA0, 0x02, 0x26}), number(169, 2, 0.5f));
    EXPECT_EQ(hui.sink.take(), std::vector{number(177, 2, 0.0f)});
    EXPECT_EQ(hui.fromHost({0xA0, 0x07, 0x30}), number(170, 7, 0.0f));

    // Strips the surface does not have are ignored, clip flags untouched.
    EXPECT_TRUE(hui.fromHost({0xA0, 0x08, 0x4C}).isNothing());
    EXPECT_TRUE(hui.fromHost({0xA0, 0x7F, 0x5C}).isNothing());
    EXPECT_TRUE(hui.sink.take().empty());
}

TEST(HuiFromDaw, RecordsMeantForTheTranslatorAreDroppedWithoutOne)
{
    HostProtocolHUI hui;
    const std::uint8_t meter[] = {0xA0, 0x02, 0x4C};
    EXPECT_EQ(hui.fromHostMidi(meter, 3, 0), number(96, 2, 1.0f));
    const Bytes scribble = sysEx(0x10, "\x00" "abcd"s);
    EXPECT_TRUE(hui.fromHostMidi(scribble.data(), static_cast<std::int32_t>(scribble.size()), 0).isNothing());
}

TEST(HuiFromDaw, ScribbleStripsFollowOnFromTheFirstNumber)
{
    struct Case { std::string payload; std::vector<MessageRecord> handedOn; };
    const Case cases[] = {
        {"\x02" "abcd" "\x7F" "efgh"s, {text(3, 2, "abcd"), text(3, 3, "efgh")}},
        {"\x08" "abcd"s, {text(6, 0, "abcd")}},
        {"\x07" "wxyz" "\x00" "abcd" "\x00" "ijkl"s, {text(3, 7, "wxyz"), text(6, 0, "abcd")}},
        {"\x09" "abcd"s, {}},
        {"\x01" "ab"s, {}},                      // shorter than one entry
        {"\x01" "abcd" "efg"s, {text(3, 1, "abcd")}},  // a partial entry is not read
    };
    for (const Case& c : cases) {
        Wired<HostProtocolHUI> hui;
        EXPECT_TRUE(hui.fromHost(sysEx(0x10, c.payload)).isNothing());
        EXPECT_EQ(hui.sink.records, c.handedOn) << testing::PrintToString(c.payload);
    }
}

TEST(HuiFromDaw, DisplayChunksAreStoredAndHandedOn)
{
    Wired<HostProtocolHUI> hui;
    EXPECT_TRUE(hui.fromHost(sysEx(0x12, "\x03" "0123456789" "\x04" "abc\0defghi"s)).isNothing());
    EXPECT_EQ(hui.sink.take(), (std::vector{text(2, 30, "0123456789"), text(2, 40, "abc")}));
    EXPECT_STREQ(hui.protocol.displayChunks[4].data(), "abc");

    // Chunks beyond the display's eight are ignored.
    EXPECT_TRUE(hui.fromHost(sysEx(0x12, "\x07" "seven....." "\x08" "eight.....")).isNothing());
    EXPECT_EQ(hui.sink.take(), std::vector{text(2, 70, "seven.....")});
    EXPECT_TRUE(hui.fromHost(sysEx(0x12, "\x7F" "whatever..")).isNothing());
    EXPECT_TRUE(hui.sink.take().empty());
}

TEST(HuiFromDaw, DialogNoticeSwitchesOnAndOff)
{
    Wired<HostProtocolHUI> hui;
    auto store = [&](const std::string& chunks) {
        hui.fromHost(sysEx(0x12, chunks));
        return hui.sink.take();
    };
    // The notice appears once the three chunks read it, in place of the chunk's own record.
    EXPECT_EQ(store("\x00" "Pro Tools " "\x01" "has a dial"s), (std::vector{text(2, 0, "Pro Tools "), text(2, 10, "has a dial")}));
    MessageRecord on = text(165, 1, "Pro Tools has a dialog on screen");
    on.value = 1.0f;
    EXPECT_EQ(store("\x02" "og onscree"), std::vector{on});

    // It stays while any of the three still reads it.
    EXPECT_EQ(store("\x00" "Logic....."s), std::vector{text(2, 0, "Logic.....")});
    EXPECT_EQ(store("\x01" "..........\x02" "og onscree"), (std::vector{text(2, 10, ".........."), text(2, 20, "og onscree")}));

    // It ends when all three differ.
    EXPECT_EQ(store("\x02" "----------"), std::vector{number(165, 0, 0.0f)});
    EXPECT_EQ(store("\x02" "++++++++++"), std::vector{text(2, 20, "++++++++++")});
}

MidiWrite cc(int controller, int data, std::int32_t port = 0)
{
    return {port, {0xB0, static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(data)}};
}

Writes press(int zone, int port) { return {cc(0x0F, zone), cc(0x2F, port | 0x40)}; }
Writes release(int zone, int port) { return {cc(0x0F, zone), cc(0x2F, port)}; }

Writes operator+(Writes a, const Writes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Writes tap(int zone, int port) { return press(zone, port) + release(zone, port); }

TEST(HuiToDaw, WritesEachKind)
{
    const ToDaw cases[] = {
        {number(7, 0, 0.0f), {at0({0x90, 0x00, 0x7F})}},
        // Faders: high then low byte, on the strip's port.
        {number(9, 2, 1.0f), {cc(0x02, 0x7F), cc(0x22, 0x7F)}},
        {number(9, 2, 0.5f), {cc(0x02, 0x3F), cc(0x22, 0x7F)}},
        {number(9, 10, 0.0f), {cc(0x02, 0x00, 1), cc(0x22, 0x00, 1)}},
        {number(9, 0, 3.0f), {cc(0x00, 0x7F), cc(0x20, 0x7F)}},
        {number(9, -1, 0.5f), {}},
        // Strip switches: zone = strip, port by kind.
        {number(13, 3, 1.0f), press(3, 2)},
        {number(12, 0, 0.0f), release(0, 0)},
        {number(20, 6, 1.0f), press(6, 6)},
        {number(15, 9, 1.0f), {cc(0x0F, 1, 1), cc(0x2F, 0x47, 1)}},
        {number(16, 0, 1.0f), {}},
        {number(21, 0, 1.0f), {}},
        {number(22, 0, 1.0f), {}},
        // V-Pots and jog: bit 6 marks a step up.
        {number(10, 1, 2.0f), {cc(0x41, 0x42)}},
        {number(10, 1, -2.0f), {cc(0x41, 0x02)}},
        {number(10, 1, 0.0f), {cc(0x41, 0x00)}},
        {number(8, 0, 3.0f), {cc(0x0D, 0x43)}},
        {number(8, 0, -90.0f), {cc(0x0D, 0x3F)}},
        // The zone table, with and without indexes.
        {number(193, 3, 1.0f), press(0x0E, 4)},
        {number(193, 3, 0.0f), release(0x0E, 4)},
        {number(193, 112, 1.0f), press(0x0F, 2)},
        {number(193, 10, 1.0f), press(0x10, 2)},
        {number(193, 5, 1.0f), {}},
        {number(193, 113, 1.0f), {}},
        {number(77, 0, 1.0f), press(0x0E, 1)},
        {number(143, 5, 1.0f), press(0x0F, 0)},
        {number(143, 0, 1.0f), press(0x10, 1)},
        {number(143, 9, 1.0f), {}},
        {number(30, 0, 1.0f), press(0x0A, 0)},
        {number(54, 99, 1.0f), press(0x08, 0)},
        {number(0, 0, 1.0f), press(0x1B, 0)},
        {number(36, 0, 1.0f), press(0x1B, 0)},
        {number(43, 0, 1.0f), press(0x1B, 7)},
        {number(155, 0, 1.0f), press(0x1C, 7)},
        {number(139, 0, 1.0f), press(0x10, 0)},
        {number(139, 1, 1.0f), press(0x08, 4) + press(0x08, 5)},
        {number(139, 2, 1.0f), {}},
        // Keypad keys held or released directly.
        {number(142, 3, 1.0f), press(0x13, 6)},
        {number(142, 17, 0.0f), release(0x14, 1)},
        {number(142, 18, 1.0f), {}},
        {number(147, 0, 1.0f), {}},
        {number(500, 0, 1.0f), {}},
    };
    expectWritesFor<HostProtocolHUI>(cases);
}

TEST(HuiToDaw, KeypadSequencesTypeInOrder)
{
    const ToDaw cases[] = {
        {number(144, 1, 1.0f), press(8, 2) + tap(0x13, 3) + release(8, 2)},
        {number(144, 4, 1.0f), {}},
        {number(144, 1, 0.0f), {}},
        {number(163, 0, 1.0f), tap(0x13, 5) + tap(0x13, 1) + tap(0x13, 5)},
        {number(163, 9, 1.0f), tap(0x13, 5) + tap(0x13, 5)},
        {number(163, 0, 0.0f), {}},
        {number(67, 0, 1.0f), tap(0x14, 0)},
        {number(168, 0, 1.0f), tap(0x1B, 0)},
        {number(168, 0, -1.0f), {}},
    };
    expectWritesFor<HostProtocolHUI>(cases);
}

TEST(HuiToDaw, EditToolIsRememberedForReselection)
{
    Wired<HostProtocolHUI> hui;
    hui.protocol.toHost(number(145, 2, 1.0f));
    EXPECT_EQ(hui.node.take(), press(8, 6) + tap(0x13, 6));
    hui.protocol.toHost(number(146, 0, 1.0f));
    EXPECT_EQ(hui.node.take(), tap(0x13, 6));
    hui.protocol.toHost(number(145, 2, 0.0f));
    EXPECT_EQ(hui.node.take(), release(8, 6));
    hui.protocol.toHost(number(146, 0, 1.0f));
    EXPECT_TRUE(hui.node.take().empty());

    // A tool beyond the keypad's is remembered but types nothing.
    hui.protocol.toHost(number(145, 9, 1.0f));
    EXPECT_EQ(hui.node.take(), press(8, 6));
    EXPECT_EQ(hui.protocol.editTool, 9);
    hui.protocol.toHost(number(146, 0, 1.0f));
    EXPECT_TRUE(hui.node.take().empty());
}

}  // namespace
}  // namespace corvello
