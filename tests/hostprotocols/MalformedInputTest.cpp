// Truncated and garbage messages from the DAW: each gives the nothing kind
// and writes nothing. Every block is allocated at its exact size, so a read
// past its end fails the test under AddressSanitizer.

#include <gtest/gtest.h>

#include "hostprotocols/HostProtocolHUI.h"
#include "hostprotocols/HostProtocolMC.h"
#include "hostprotocols/HostProtocolPanner.h"
#include "tests/hostprotocols/ProtocolHarness.h"

namespace corvello {
namespace {

const Bytes kShortForEveryone[] = {
    {},
    {0x90},
    {0x90, 0x00},
    {0x9F, 0x5E},
    {0xA0, 0x02},
    {0xB0},
    {0xB0, 0x2C},
    {0xB0, 0x4A},
    {0xBF, 0x49},
    {0xD0},
    {0xE0, 0x7F},
    {0xE8},
    {0xF0},
    {0xF7},
    {0xFF, 0xFF, 0xFF},
    {0x00, 0x00, 0x00},
};

template <typename Protocol>
void expectNothingFrom(const Bytes& message)
{
    Wired<Protocol> wired;
    SCOPED_TRACE(testing::PrintToString(message));
    EXPECT_EQ(wired.fromHost(message).kind, kNothingKind);
    EXPECT_TRUE(wired.node.writes.empty());
    EXPECT_TRUE(wired.sink.records.empty());
}

TEST(MalformedInput, ShortMessagesGiveNothing)
{
    for (const Bytes& m : kShortForEveryone) {
        expectNothingFrom<HostProtocolMC>(m);
        expectNothingFrom<HostProtocolHUI>(m);
        expectNothingFrom<HostProtocolPanner>(m);
    }
}

TEST(MalformedInput, NullOrNegativeLengthBlocksGiveNothing)
{
    const std::uint8_t noteOn[] = {0x90, 0x5E, 0x7F};
    HostProtocolMC mc;
    HostProtocolHUI hui;
    HostProtocolPanner panner;
    for (HostProtocol* p : std::initializer_list<HostProtocol*>{&mc, &hui, &panner}) {
        EXPECT_TRUE(p->fromHostMidi(nullptr, 3, 0).isNothing());
        EXPECT_TRUE(p->fromHostMidi(noteOn, -1, 0).isNothing());
        EXPECT_TRUE(p->fromHostMidi(noteOn, 0, 0).isNothing());
    }
}

TEST(MalformedInput, MackieSysExShorterThanItNeeds)
{
    const Bytes cases[] = {
        {0xF0, 0x00, 0x00, 0x66, 0x14},                    // header without a command
        {0xF0, 0x00, 0x00, 0x66, 0x14, 0x12},              // LCD without position or F7
        {0xF0, 0x00, 0x00, 0x66, 0x14, 0x12, 0x00},        // LCD one byte short
        {0xF0, 0x00, 0x00, 0x66, 0x14, 0x13},              // version request, short
        {0xF0, 0x00, 0x00, 0x66, 0x14, 0x13, 0x00},
    };
    for (const Bytes& m : cases)
        expectNothingFrom<HostProtocolMC>(m);
}

TEST(MalformedInput, MackieSegmentDisplayStaysInsideAnUnterminatedMessage)
{
    Wired<HostProtocolMC> mc;
    EXPECT_EQ(mc.fromHost({0xF0, 0x00, 0x00, 0x66, 0x14, 0x10, 0x31, 0x32}), text(4, 8, "21"));
    EXPECT_EQ(mc.fromHost({0xF0, 0x00, 0x00, 0x66, 0x14, 0x11}), text(6, 10, ""));
}

TEST(MalformedInput, HuiSysExBeyondTheSurfaceIsIgnored)
{
    auto sysEx = [](std::uint8_t command, const Bytes& payload) { return huiSysEx(command, payload); };
    const Bytes cases[] = {
        {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00},              // header only
        {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x10},        // scribble, no F7
        {0xF0, 0x00, 0x00, 0x66, 0x05, 0x00, 0x12, 0x00},  // display, no room for an entry
        sysEx(0x10, {0x09, 'a', 'b', 'c', 'd'}),           // strip beyond the assignment display
        sysEx(0x10, {0x00, 'a', 'b'}),                     // partial scribble entry
        sysEx(0x11, Bytes(11, 0x01)),                      // timecode longer than ten digits
        sysEx(0x12, {0x08, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}),
        sysEx(0x12, {0xFF, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}),
        sysEx(0x12, {0x00, '0', '1', '2', '3', '4', '5', '6', '7', '8'}),  // partial chunk
        {0xA0, 0x08, 0x4C},                                // meter for a strip beyond eight
        {0xA0, 0xFF, 0x7F},
    };
    for (const Bytes& m : cases)
        expectNothingFrom<HostProtocolHUI>(m);
}

}  // namespace
}  // namespace corvello
