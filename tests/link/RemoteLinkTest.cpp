// The link node over real loopback sockets: TCP and UDP through the
// platform's socket layer (BSD sockets natively, Winsock under Wine). The
// remote side is RawRemote, written against the same seam, or a second node
// in client mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/support/CapturedLog.h"
#include "tests/link/LinkTestSupport.h"

namespace corvello {
namespace {

using namespace testing_support;
using Channel = RemoteLink::Channel;

struct ServerNode : ::testing::Test {
    RecordingFilter first{0};  // filters outlive the node, which detaches them
    RecordingFilter second{1};
    RemoteLink node{true};

    void SetUp() override
    {
        ASSERT_NE(node.listeningPort(), 0);
        node.addFilter(&first);
        node.addFilter(&second);
    }

    bool connectedTo(const RawRemote& remote)
    {
        return eventually([&] { return node.isConnected() && second.connections().size() >= 1; }) &&
               remote.connected();
    }
};

TEST_F(ServerNode, PreambleExchangesMeteringPortsAndAnnouncesThePeer)
{
    RawRemote remote(node.listeningPort());
    ASSERT_TRUE(connectedTo(remote));
    EXPECT_EQ(remote.nodeMeteringPort(), node.meteringLocalPort());

    // Every filter up to the first that claims hears of the peer, in network byte order.
    auto connections = second.connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].address, net::loopbackAddress());
    EXPECT_EQ(connections[0].port, net::networkPort(remote.tcpPort()));
    EXPECT_EQ(first.connections().size(), 1u);
}

TEST_F(ServerNode, RecordsTravelBothWaysOnBothChannels)
{
    RawRemote remote(node.listeningPort());
    ASSERT_TRUE(connectedTo(remote));

    remote.sendTcp(packetOf({MessageRecord::number(9, 2, 0.75f), MessageRecord::withText(185, 0, "text")}));
    remote.sendUdp(packetOf({MessageRecord::number(96, 3, 0.5f)}));
    ASSERT_TRUE(eventually([&] { return second.received().size() == 3; }));
    auto received = second.received();
    EXPECT_EQ(first.received().size(), 3u) << "the first filter declines, so both see every record";
    std::sort(received.begin(), received.end(), [](auto& a, auto& b) { return a.record.kind < b.record.kind; });
    EXPECT_EQ(received[0].record, MessageRecord::number(9, 2, 0.75f));
    EXPECT_EQ(received[0].channel, Channel::Main);
    EXPECT_EQ(received[1].record, MessageRecord::number(96, 3, 0.5f));
    EXPECT_EQ(received[1].channel, Channel::Metering);
    EXPECT_EQ(received[2].record, MessageRecord::withText(185, 0, "text"));

    node.queueMain(MessageRecord::number(9, 1, 0.25f));
    node.queueMain(MessageRecord::withText(185, 1, "abcde"));
    node.flushMain();
    node.sendMetering(MessageRecord::number(100, 0, 1.0f));
    EXPECT_EQ(remote.receive(Channel::Main, 2),
              (std::vector{MessageRecord::number(9, 1, 0.25f), MessageRecord::withText(185, 1, "abcde")}));
    EXPECT_EQ(remote.receive(Channel::Metering, 1), std::vector{MessageRecord::number(100, 0, 1.0f)});
}

TEST_F(ServerNode, TheNewestRemoteReplacesTheCurrentOneWithoutADisconnection)
{
    RawRemote older(node.listeningPort());
    ASSERT_TRUE(connectedTo(older));
    RawRemote newer(node.listeningPort());
    ASSERT_TRUE(eventually([&] { return second.connections().size() == 2; }));

    EXPECT_TRUE(older.seesClose());
    EXPECT_EQ(first.disconnections() + second.disconnections(), 0);
    node.sendMain(MessageRecord::number(9, 7, 1.0f));
    EXPECT_EQ(newer.receive(Channel::Main, 1), std::vector{MessageRecord::number(9, 7, 1.0f)});
}

TEST_F(ServerNode, EveryFilterHearsTheRemoteClose)
{
    {
        RawRemote remote(node.listeningPort());
        ASSERT_TRUE(connectedTo(remote));
    }
    ASSERT_TRUE(eventually([&] { return !node.isConnected(); }));
    EXPECT_TRUE(eventually([&] { return first.disconnections() == 1 && second.disconnections() == 1; }));
}

TEST_F(ServerNode, AMalformedStreamClosesOnlyThatConnection)
{
    test::CapturedLog captured;
    RawRemote bad(node.listeningPort());
    ASSERT_TRUE(connectedTo(bad));
    bad.sendTcp({1, 0, 0xAA, 0xBB});
    EXPECT_TRUE(bad.seesClose());
    EXPECT_TRUE(eventually([&] { return second.disconnections() == 1; }));

    RawRemote good(node.listeningPort());
    ASSERT_TRUE(eventually([&] { return node.isConnected(); }));
    good.sendTcp(packetOf({MessageRecord::number(9, 1, 1.0f)}));
    EXPECT_TRUE(eventually([&] { return second.received().size() == 1; }));
    EXPECT_FALSE(captured.linesWith("malformed packet from the remote").empty()) << ::testing::PrintToString(captured.lines());
}

TEST_F(ServerNode, MalformedMeteringBytesAreDroppedAndTheLinkStays)
{
    RawRemote remote(node.listeningPort());
    ASSERT_TRUE(connectedTo(remote));
    test::CapturedLog captured;
    remote.sendUdp({0, 0, 1, 2, 3});
    remote.sendUdp(packetOf({MessageRecord::number(97, 1, 0.5f)}));
    EXPECT_TRUE(eventually([&] { return second.received().size() == 1; }));
    EXPECT_FALSE(captured.linesWith("metering channel").empty()) << ::testing::PrintToString(captured.lines());
    EXPECT_TRUE(node.isConnected());
}

TEST_F(ServerNode, ARemoteThatNeverSendsItsPortCannotTakeTheLink)
{
    RawRemote current(node.listeningPort());
    ASSERT_TRUE(connectedTo(current));
    test::CapturedLog captured;
    RawRemote silent(node.listeningPort(), false);
    EXPECT_TRUE(silent.seesClose(RemoteLink::kPreambleTimeoutMs * 1ms + 3s));
    EXPECT_FALSE(captured.linesWith("no metering port").empty()) << ::testing::PrintToString(captured.lines());
    node.sendMain(MessageRecord::number(9, 1, 1.0f));
    EXPECT_EQ(current.receive(Channel::Main, 1), std::vector{MessageRecord::number(9, 1, 1.0f)});
    EXPECT_EQ(second.connections().size(), 1u);
}

TEST_F(ServerNode, SilentConnectionsNeitherDelayAProperRemoteNorPileUp)
{
    test::CapturedLog captured;
    std::vector<std::unique_ptr<RawRemote>> silent;
    for (std::size_t i = 0; i < RemoteLink::kMaxPendingRemotes + 2; ++i)
        silent.push_back(std::make_unique<RawRemote>(node.listeningPort(), false));
    // Beyond the bound the oldest waiting connections go first.
    EXPECT_TRUE(silent[0]->seesClose());
    EXPECT_TRUE(silent[1]->seesClose());
    RawRemote proper(node.listeningPort());
    ASSERT_TRUE(connectedTo(proper));
    // Served while the silent ones still wait: none was waited out first.
    for (std::size_t i = 3; i < silent.size(); ++i)
        EXPECT_FALSE(silent[i]->seesClose(0ms)) << i;
    EXPECT_FALSE(captured.linesWith("dropped the oldest").empty()) << ::testing::PrintToString(captured.lines());
}

TEST_F(ServerNode, MeteringDatagramsCountOnlyFromTheConnectedRemotesAddress)
{
    // 127.0.0.2 plays another host on the same network.
    const std::uint32_t otherHost = net::resolveIPv4("127.0.0.2");
    net::SocketHandle stranger = net::openUdpSocket();
    ASSERT_TRUE(net::bindToSystemPort(stranger, otherHost));
    const net::PeerAddress metering{net::loopbackAddress(),
                                    net::networkPort(static_cast<std::uint16_t>(node.meteringLocalPort()))};
    ASSERT_TRUE(net::connectSocket(stranger, metering));
    auto strangerSends = [&](float value) {
        auto bytes = packetOf({MessageRecord::number(96, 1, value)});
        net::sendBytes(stranger, bytes.data(), static_cast<int>(bytes.size()));
    };

    strangerSends(0.1f);  // before any remote
    RawRemote remote(node.listeningPort());
    ASSERT_TRUE(connectedTo(remote));
    strangerSends(0.2f);  // beside the remote
    remote.sendUdp(packetOf({MessageRecord::number(96, 1, 0.3f)}));
    ASSERT_TRUE(eventually([&] { return second.received().size() == 1; }));
    EXPECT_EQ(second.received()[0].record, MessageRecord::number(96, 1, 0.3f));
    net::closeSocket(stranger);
}

TEST_F(ServerNode, WithoutARemoteMainPacketsAreDroppedAtOnce)
{
    testing::internal::CaptureStderr();
    node.sendMain(MessageRecord::number(9, 1, 1.0f));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(node.isConnected());
}

// A refused connection is never announced as a peer, but every filter hears
// of it, so an observer (the tray) can tell the user.
TEST(AdmittingNode, EveryFilterHearsARefusedAddressAndNoPeerIsAnnounced)
{
    LinkSettings settings;
    settings.allowed.add(*AddressRange::parse("127.0.0.1/32"));
    RecordingFilter watcher{0};
    RecordingFilter claimer{1};
    RemoteLink node{true, settings};
    ASSERT_NE(node.listeningPort(), 0);
    node.addFilter(&watcher);
    node.addFilter(&claimer);

    const std::uint32_t otherHost = net::resolveIPv4("127.0.0.2");
    RawRemote stranger(node.listeningPort(), true, otherHost);
    EXPECT_FALSE(stranger.gotPreamble());
    const std::vector<std::uint32_t> once{otherHost};
    EXPECT_TRUE(eventually([&] { return watcher.refusals() == once && claimer.refusals() == once; }));

    RawRemote local(node.listeningPort());
    EXPECT_TRUE(local.gotPreamble());
    EXPECT_TRUE(eventually([&] { return claimer.connections().size() == 1; }));
    EXPECT_EQ(claimer.refusals(), once);
}

TEST(ClientNode, ConnectsToAServerAndExchangesRecordsOnBothChannels)
{
    RecordingFilter atServer, atClient;
    RemoteLink server(true);
    server.addFilter(&atServer);
    RemoteLink client(false);
    client.addFilter(&atClient);

    client.connectTo("127.0.0.1", server.listeningPort());
    ASSERT_TRUE(eventually([&] { return client.isConnected() && server.isConnected(); }));
    client.sendMain(MessageRecord::number(9, 4, 0.5f));
    client.sendMetering(MessageRecord::number(98, 4, 0.5f));
    server.sendMain(MessageRecord::withText(185, 2, "hi"));
    server.sendMetering(MessageRecord::number(99, 5, 0.125f));
    EXPECT_TRUE(eventually([&] { return atServer.received().size() == 2 && atClient.received().size() == 2; }));
}

TEST(ClientNode, AnUnreachableServerEndsTheLinkThread)
{
    RemoteLink client(false);
    client.connectTo("127.0.0.1", 1);
    EXPECT_TRUE(eventually([&] { return !client.linkThreadRunning(); }));
    EXPECT_FALSE(client.isConnected());
}

}  // namespace
}  // namespace corvello
