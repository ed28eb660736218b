// The panner both ways; the record's index is the port.

#include <gtest/gtest.h>

#include "hostprotocols/HostProtocolPanner.h"
#include "tests/hostprotocols/ProtocolHarness.h"

namespace corvello {
namespace {

MidiWrite pan(std::int32_t port, int controller, int data)
{
    return {port, {0xBE, static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(data)}};
}

TEST(PannerToDaw, WritesEachKindToTheInstancesPort)
{
    struct Case {
        MessageRecord record;
        int handled;
        Writes expected;
    };
    const Case cases[] = {
        {number(2002, 1, 1.0f), 1, {pan(1, 0x00, 0x04)}},
        {number(2002, 1, 0.0f), 1, {pan(1, 0x01, 0x04)}},
        {number(2001, 0, -1.0f), 1, {pan(0, 0x00, 0x00)}},
        {number(2006, 0, 1.0f), 1, {pan(0, 0x00, 0x03)}},
        {number(2009, 0, 1.0f), 1, {pan(0, 0x00, 0x09)}},
        {number(2010, 0, 1.0f), 1, {pan(0, 0x02, 0x7F)}},
        {number(2011, 0, 0.5f), 1, {pan(0, 0x03, 0x3F)}},
        {number(2012, 0, 2.0f), 1, {pan(0, 0x04, 0x7F)}},
        {number(2013, 0, -3.0f), 1, {pan(0, 0x10, 0x43), pan(0, 0x13, 0x43)}},
        {number(2013, 1, 2.0f), 1, {pan(1, 0x10, 0x02), pan(1, 0x13, 0x02)}},
        {number(2014, 0, 0.0f), 1, {pan(0, 0x13, 0x00)}},
        {number(2017, 0, -100.0f), 1, {pan(0, 0x14, 0x7F)}},
        // Indexes beyond the two instances would reach other ports.
        {number(2001, 2, 1.0f), 1, {}},
        {number(2013, -1, 1.0f), 1, {}},
        {number(2018, 0, 1.0f), 0, {}},
        {number(2000, 0, 1.0f), 0, {}},
        {number(9, 0, 1.0f), 0, {}},
    };
    for (const Case& c : cases) {
        Wired<HostProtocolPanner> panner;
        SCOPED_TRACE(testing::PrintToString(c.record));
        EXPECT_EQ(panner.protocol.toHost(c.record), c.handled);
        EXPECT_EQ(panner.node.writes, c.expected);
    }
}

TEST(PannerFromDaw, LampsComeBackAsTheirKinds)
{
    struct Case {
        Bytes message;
        std::int32_t port;
        MessageRecord expected;
    };
    const Case cases[] = {
        {{0xB5, 0x00, 0x07}, 1, number(2007, 1, 1.0f)},
        {{0xB0, 0x01, 0x04}, 0, number(2002, 0, 0.0f)},
        {{0xBE, 0x00, 0x08}, 0, number(2008, 0, 1.0f)},
        {{0xB0, 0x02, 0x00}, 0, number(2001, 0, 0.0f)},
        {{0xB0, 0x01, 0x06}, 1, number(kNothingKind, 1, 0.0f)},
        {{0xB0, 0x00, 0x09}, 0, number(kNothingKind, 0, 1.0f)},
        {{0x90, 0x00, 0x00}, 1, number(kNothingKind, 1, 0.0f)},
    };
    for (const Case& c : cases) {
        Wired<HostProtocolPanner> panner;
        EXPECT_EQ(panner.fromHost(c.message, c.port), c.expected) << testing::PrintToString(c.message);
    }
}

TEST(PannerFromDaw, OnAndOffAreSymmetric)
{
    Wired<HostProtocolPanner> panner;
    for (std::uint8_t lamp : {0, 1, 2, 3, 4, 5, 7, 8}) {
        for (std::uint8_t controller : {0x00, 0x01}) {
            panner.protocol.toHost(panner.fromHost({0xBE, controller, lamp}, 1));
            EXPECT_EQ(panner.node.take(), Writes{pan(1, controller, lamp)}) << int(lamp);
        }
    }
}

TEST(PannerToDaw, WritesNothingWithoutAnOutput)
{
    HostProtocolPanner panner;
    EXPECT_EQ(panner.toHost(number(2002, 0, 1.0f)), 1);
    EXPECT_EQ(panner.toHost(number(2013, 0, 1.0f)), 1);
}

}  // namespace
}  // namespace corvello
