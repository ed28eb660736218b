// The panner both ways; the record's index is the port.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

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

// The panner's table as documented: kind, controller (-1: the lamp
// controllers 0 and 1), data (-1: from the value).
struct PannerRow {
    std::uint16_t kind;
    int controller;
    int data;
};
constexpr PannerRow kPannerTable[] = {
    {2001, -1, 0}, {2002, -1, 4}, {2003, -1, 1}, {2004, -1, 5}, {2005, -1, 2}, {2006, -1, 3},
    {2007, -1, 7}, {2008, -1, 8}, {2009, -1, 9},
    {2010, 0x02, -1}, {2011, 0x03, -1}, {2012, 0x04, -1},
    {2013, 0x10, -1}, {2014, 0x13, -1}, {2015, 0x11, -1}, {2016, 0x12, -1}, {2017, 0x14, -1},
};

TEST(PannerTable, EveryKindWritesItsControlOnBothPorts)
{
    for (const PannerRow& r : kPannerTable) {
        for (std::int32_t port : {0, 1}) {
            for (const float value : {0.0f, 0.25f, 1.0f, -2.0f}) {
                Wired<HostProtocolPanner> panner;
                SCOPED_TRACE(testing::Message() << "kind " << r.kind << " port " << port << " value " << value);
                EXPECT_EQ(panner.protocol.toHost(number(r.kind, port, value)), 1);
                Writes expected;
                if (r.controller < 0)
                    expected = {pan(port, value == 0.0f ? 0x01 : 0x00, r.data)};
                else if (r.kind <= 2012)
                    expected = {pan(port, r.controller, value < 0.0f ? 0 : value > 1.0f ? 127 : int(value * 127))};
                else
                    expected = {pan(port, r.controller, value < 0.0f ? int(-value) | 0x40 : int(value))};
                if (r.kind == 2013)
                    expected.push_back(pan(port, 0x13, expected[0].bytes[2]));
                EXPECT_EQ(panner.node.writes, expected);
            }
        }
    }
}

TEST(PannerTable, EveryLampFromTheDawComesBackAsItsKind)
{
    for (int controller = 0; controller <= 0x7F; ++controller) {
        for (int data = 0; data <= 0x7F; ++data) {
            const auto* row = std::find_if(std::begin(kPannerTable), std::end(kPannerTable), [&](const PannerRow& r) {
                return r.controller < 0 && r.data == data && r.kind != 2009;  // lamp 9 only goes towards the DAW
            });
            const std::uint16_t kind = row == std::end(kPannerTable) ? kNothingKind : row->kind;
            Wired<HostProtocolPanner> panner;
            EXPECT_EQ(panner.fromHost({0xB3, static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(data)}, 1),
                      number(kind, 1, controller == 0 ? 1.0f : 0.0f))
                << "controller " << controller << " data " << data;
        }
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
