// What the tray says, from the status it is given, and how the link watch
// turns the link's notifications into the tray's events.

#include <gtest/gtest.h>

#include <cstring>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/LinkWatch.h"
#include "app/TrayStatus.h"
#include "core/HostSelection.h"

namespace corvello {
namespace {

using Lines = std::vector<std::string>;

TEST(TrayStatus, MenuLinesSayWhereToConnectWhoIsConnectedAndWithWhichProtocol)
{
    struct Case {
        TrayStatus status;
        Lines lines;
    };
    const Case cases[] = {
        {{{"192.168.1.20"}, 41237, true, std::nullopt, kNoProtocol},
         {"Remote connects to 192.168.1.20:41237", "No remote connected"}},
        {{{"192.168.1.20", "10.0.0.5"}, 5000, true, "192.168.1.30", kNoProtocol},
         {"Remote connects to 192.168.1.20:5000", "Remote connects to 10.0.0.5:5000",
          "Remote 192.168.1.30 connected, no protocol selected yet"}},
        {{{"192.168.1.20"}, 41237, true, "192.168.1.30", kMackieControlProtocol},
         {"Remote connects to 192.168.1.20:41237", "Remote 192.168.1.30 connected: Mackie Control"}},
        {{{"192.168.1.20"}, 41237, false, "192.168.1.30", kLogicOSCProtocol},
         {"Remote connects to 192.168.1.20:41237", "No DNS-SD service: type the address above into the remote",
          "Remote 192.168.1.30 connected: Logic OSC"}},
        {{{}, 41237, true, std::nullopt, kNoProtocol}, {"No network address: TCP port 41237", "No remote connected"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(trayStatusLines(c.status), c.lines);
    EXPECT_EQ(protocolName(kHUIProtocol), "HUI");
}

TEST(TrayStatus, TooltipNamesAddressPortRemoteAndMissingDiscovery)
{
    TrayStatus status{{"192.168.1.20"}, 41237, false, "192.168.1.30", kHUIProtocol};
    EXPECT_EQ(trayTooltip(status),
              "Corvello (no DNS-SD: type the address)\n192.168.1.20:41237\nRemote 192.168.1.30: HUI");
    status.remote.reset();
    status.discoveryAvailable = true;
    EXPECT_EQ(trayTooltip(status), "Corvello\n192.168.1.20:41237\nNo remote");
}

// Many interfaces (virtual adapters are common) must not push the port or the
// remote's line out of the shell's 127 characters.
TEST(TrayStatus, TooltipWithTooManyAddressesCountsTheRestAndStaysWithinTheLimit)
{
    TrayStatus status{{}, 41237, false, "255.255.255.255", kNoProtocol};
    for (int i = 0; i < 12; ++i)
        status.addresses.push_back("172.16.100." + std::to_string(100 + i));
    const std::string tip = trayTooltip(status);
    EXPECT_LE(tip.size(), kTooltipLimit) << tip;
    EXPECT_NE(tip.find("\n172.16.100.100:41237"), std::string::npos) << tip;
    EXPECT_NE(tip.find(" more in the menu"), std::string::npos) << tip;
    EXPECT_NE(tip.find("\nRemote 255.255.255.255: no protocol yet"), std::string::npos) << tip;
    // Even a shell that keeps less gets no more than it keeps.
    EXPECT_LE(trayTooltip(status, 40).size(), 40u);
}

TEST(LinkWatch, ReportsConnectionsAndSelectionsAndClaimsNothing)
{
    std::vector<LinkWatch::Change> changes;
    LinkWatch watch([&](const LinkWatch::Change& change) { changes.push_back(change); });

    const unsigned char remote[4] = {192, 168, 1, 30};  // network byte order, as the link delivers it
    std::uint32_t address = 0;
    std::memcpy(&address, remote, sizeof address);
    EXPECT_FALSE(watch.peerConnected(address, 0));
    EXPECT_EQ(watch.receive(MessageRecord::number(kHostSelectionKind, 3, 1.0f)), 0);
    EXPECT_EQ(watch.receive(MessageRecord::number(9, 0, 0.5f)), 0);
    watch.peerDisconnected(0, 0);

    using E = LinkWatch::Event;
    EXPECT_EQ(changes, (std::vector<LinkWatch::Change>{{E::Connected, "192.168.1.30", kNoProtocol},
                                                       {E::ProtocolSelected, "", kLogicOSCProtocol},
                                                       {E::Disconnected, "", kNoProtocol}}));
}

// Refusals come from outside: the first is reported at once, then at most one
// per interval, carrying the count of those held back.
TEST(LinkWatch, ReportsRefusalsAtMostOncePerIntervalWithTheCountHeldBack)
{
    std::vector<LinkWatch::Change> changes;
    LinkWatch watch([&](const LinkWatch::Change& change) { changes.push_back(change); }, std::chrono::milliseconds(200));
    const unsigned char stranger[4] = {203, 0, 113, 7};
    std::uint32_t address = 0;
    std::memcpy(&address, stranger, sizeof address);

    for (int i = 0; i < 4; ++i)
        watch.peerRefused(address);
    ASSERT_EQ(changes.size(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    watch.peerRefused(address);

    using E = LinkWatch::Event;
    EXPECT_EQ(changes, (std::vector<LinkWatch::Change>{{E::Refused, "203.0.113.7", kNoProtocol, 0},
                                                       {E::Refused, "203.0.113.7", kNoProtocol, 3}}));
    EXPECT_EQ(remoteRefusedBalloon("203.0.113.7", 3).text,
              "Corvello refused a connection from 203.0.113.7 (and 3 more since the last notice): that address is "
              "outside the allowed ranges.");
    EXPECT_EQ(remoteRefusedBalloon("203.0.113.7").text.find("more"), std::string::npos);
}

}  // namespace
}  // namespace corvello
