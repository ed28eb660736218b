// HUI's zones 8 and above, every port both ways, against the zone table as
// the protocol documents it, written out here by hand. The strip zones, zone
// 22 (time format) and the keypad have tests of their own.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "hostprotocols/HostProtocolHUI.h"
#include "tests/hostprotocols/ProtocolTables.h"

namespace corvello {
namespace {

constexpr std::int32_t kAnyIndex = -1;  // out: any index presses it; in: index = zone

struct Row {
    int zone;
    int port;
    std::uint16_t kind;
    std::int32_t index = kAnyIndex;
};

// Lamps the DAW lights, and the record each gives.
const Row kIn[] = {
    {8, 0, 54}, {8, 1, 52}, {8, 2, 68}, {8, 3, 65}, {8, 4, 55}, {8, 5, 53}, {8, 6, 69}, {8, 7, 64},
    {9, 0, 106}, {9, 1, 105}, {9, 2, 104}, {9, 3, 109}, {9, 4, 108}, {9, 5, 107},
    {11, 0, 117}, {11, 1, 116}, {11, 2, 110}, {11, 3, 115}, {11, 4, 114}, {11, 5, 113}, {11, 6, 112}, {11, 7, 111},
    {12, 0, 121}, {12, 1, 56}, {12, 2, 131}, {12, 3, 32}, {12, 4, 122}, {12, 5, 136}, {12, 6, 129},
    {13, 0, 88}, {13, 1, 89}, {13, 2, 91}, {13, 3, 90}, {13, 4, 87}, {13, 5, 92}, {13, 6, 93},
    {14, 1, 193, 0}, {14, 2, 193, 1}, {14, 3, 193, 2}, {14, 4, 193, 3}, {14, 5, 193, 4},
    {15, 0, 193, 6}, {15, 1, 193, 7}, {15, 2, 193, 112}, {15, 3, 193, 8}, {15, 4, 193, 9},
    {16, 0, 139, 0}, {16, 1, 143, 0}, {16, 2, 143, 7}, {16, 3, 143, 8}, {16, 4, 143, 1},
    {23, 0, 123}, {23, 1, 124}, {23, 2, 125}, {23, 3, 126}, {23, 4, 127}, {23, 5, 128},
    {24, 0, 62}, {24, 1, 60}, {24, 2, 58}, {24, 3, 57}, {24, 4, 61}, {24, 5, 59},
    {25, 1, 135}, {25, 2, 130}, {25, 3, 132}, {25, 4, 133}, {25, 5, 134},
    {26, 0, 158}, {26, 1, 159}, {26, 2, 162}, {26, 3, 160}, {26, 4, 161}, {26, 5, 157},
    {27, 7, 43},
    {28, 0, 148}, {28, 1, 149}, {28, 2, 150}, {28, 3, 151}, {28, 4, 152}, {28, 5, 153}, {28, 6, 154}, {28, 7, 155},
};

// Switches the remote presses, and the records that press each.
const Row kOut[] = {
    {8, 0, 54}, {8, 1, 52}, {8, 2, 68}, {8, 3, 65}, {8, 4, 55}, {8, 5, 53}, {8, 6, 69}, {8, 7, 64},
    {9, 0, 106}, {9, 1, 105}, {9, 2, 104}, {9, 3, 109}, {9, 4, 108}, {9, 5, 107},
    {10, 0, 30}, {10, 1, 28}, {10, 2, 31}, {10, 3, 29},
    {11, 0, 117}, {11, 1, 116}, {11, 2, 110}, {11, 3, 115}, {11, 4, 114}, {11, 5, 113}, {11, 6, 112}, {11, 7, 111},
    {12, 0, 121}, {12, 1, 56}, {12, 2, 131}, {12, 3, 32}, {12, 4, 122}, {12, 5, 136}, {12, 6, 129},
    {13, 0, 88}, {13, 1, 89}, {13, 2, 91}, {13, 3, 90}, {13, 4, 87}, {13, 5, 92}, {13, 6, 93},
    {14, 1, 193, 0}, {14, 2, 193, 1}, {14, 3, 193, 2}, {14, 4, 193, 3}, {14, 5, 193, 4},
    {14, 1, 77}, {14, 2, 78}, {14, 3, 79}, {14, 4, 80}, {14, 5, 81},
    {15, 0, 193, 6}, {15, 1, 193, 7}, {15, 2, 193, 112}, {15, 3, 193, 8}, {15, 4, 193, 9},
    {15, 0, 143, 5}, {15, 1, 143, 6}, {15, 2, 143, 3}, {15, 3, 143, 2}, {15, 4, 143, 4},
    {16, 1, 143, 0}, {16, 2, 143, 7}, {16, 3, 143, 8}, {16, 4, 143, 1}, {16, 2, 193, 10}, {16, 3, 193, 11},
    {16, 0, 139, 0},
    {23, 0, 123}, {23, 1, 124}, {23, 2, 125}, {23, 3, 126}, {23, 4, 127}, {23, 5, 128},
    {24, 0, 62}, {24, 1, 60}, {24, 2, 58}, {24, 3, 57}, {24, 4, 61}, {24, 5, 59},
    {25, 1, 135}, {25, 2, 130}, {25, 3, 132}, {25, 4, 133}, {25, 5, 134},
    {26, 0, 158}, {26, 1, 159}, {26, 2, 162}, {26, 3, 160}, {26, 4, 161}, {26, 5, 157},
    {27, 0, 36}, {27, 1, 37}, {27, 2, 38}, {27, 3, 39}, {27, 4, 40}, {27, 5, 41}, {27, 6, 42}, {27, 7, 43},
    {27, 0, 0}, {27, 1, 1}, {27, 2, 2}, {27, 3, 3}, {27, 4, 4}, {27, 5, 5}, {27, 6, 6},
    {28, 0, 148}, {28, 1, 149}, {28, 2, 150}, {28, 3, 151}, {28, 4, 152}, {28, 5, 153}, {28, 6, 154}, {28, 7, 155},
};

constexpr int kTimeFormatZone = 22;

MidiWrite cc(int controller, int data) { return at0({0xB0, static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(data)}); }
Writes switchWrites(int zone, int port, bool pressed) { return {cc(0x0F, zone), cc(0x2F, pressed ? port | 0x40 : port)}; }

TEST(HuiZones, EveryLampFromTheDawLightsItsControl)
{
    for (int zone = 8; zone <= 0x1F; ++zone) {
        if (zone == kTimeFormatZone)
            continue;
        for (int port = 0; port < 8; ++port) {
            const auto* row = std::find_if(std::begin(kIn), std::end(kIn),
                                           [&](const Row& r) { return r.zone == zone && r.port == port; });
            SCOPED_TRACE(testing::Message() << "zone " << zone << " port " << port);
            for (const bool lit : {true, false}) {
                Wired<HostProtocolHUI> hui;
                hui.fromHost({0xB0, 0x0C, static_cast<std::uint8_t>(zone)});
                const MessageRecord lamp = hui.fromHost({0xB0, 0x2C, static_cast<std::uint8_t>(lit ? port | 0x40 : port)});
                if (row == std::end(kIn))
                    EXPECT_TRUE(lamp.isNothing());
                else
                    EXPECT_EQ(lamp, number(row->kind, row->index == kAnyIndex ? zone : row->index, lit ? 1.0f : 0.0f));
            }
        }
    }
}

TEST(HuiZones, EveryRecordTowardsTheDawPressesItsSwitch)
{
    for (const Row& r : kOut) {
        for (const std::int32_t index : r.index == kAnyIndex ? std::vector<std::int32_t>{0, 7, r.zone} : std::vector{r.index}) {
            SCOPED_TRACE(testing::Message() << "kind " << r.kind << " index " << index);
            for (const bool pressed : {true, false}) {
                Wired<HostProtocolHUI> hui;
                EXPECT_EQ(hui.protocol.toHost(number(r.kind, index, pressed ? 1.0f : 0.0f)), 1);
                EXPECT_EQ(hui.node.writes, switchWrites(r.zone, r.port, pressed));
            }
        }
    }
}

TEST(HuiZones, KindsOutsideTheTablesPressNothing)
{
    // Kinds with a meaning of their own: ping, jog, fader, V-Pot, the strip
    // switches and the keypad and edit-tool commands.
    const std::vector<int> own = {7, 8, 9, 10, 12, 13, 14, 15, 17, 18, 19, 20, 67, 139, 142, 144, 145, 146, 163, 168};
    for (int kind = 0; kind <= 0x3FF; ++kind) {
        const bool listed = std::any_of(std::begin(kOut), std::end(kOut), [&](const Row& r) { return r.kind == kind; });
        if (listed || std::find(own.begin(), own.end(), kind) != own.end())
            continue;
        Wired<HostProtocolHUI> hui;
        EXPECT_EQ(hui.protocol.toHost(number(static_cast<std::uint16_t>(kind), 0, 1.0f)), 1);
        EXPECT_TRUE(hui.node.writes.empty()) << "kind " << kind;
    }
    // Indexed records with an index the table does not list.
    for (const MessageRecord& r : {number(193, 5, 1.0f), number(193, 12, 1.0f), number(143, 9, 1.0f)}) {
        Wired<HostProtocolHUI> hui;
        hui.protocol.toHost(r);
        EXPECT_TRUE(hui.node.writes.empty()) << testing::PrintToString(r);
    }
}

}  // namespace
}  // namespace corvello
