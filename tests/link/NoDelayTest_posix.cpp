// Every link socket leaves small packets at once (TCP_NODELAY), in server and
// in client mode. The node's sockets are found among this process's own
// descriptors by the ports of their peers.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <optional>

#include "tests/link/LinkTestSupport.h"

namespace corvello {
namespace {

using namespace testing_support;

// TCP_NODELAY of the stream socket whose peer port is `peerPort` (host order).
std::optional<bool> noDelayOfSocketWithPeerPort(std::uint16_t peerPort)
{
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_STREAM ||
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || ntohs(peer.sin_port) != peerPort)
            continue;
        int on = 0;
        socklen_t onLength = sizeof on;
        getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &onLength);
        return on != 0;
    }
    return std::nullopt;
}

TEST(LinkSockets, AcceptedAndClientLinksHaveNoDelay)
{
    {
        RemoteLink server(true);
        RawRemote remote(server.listeningPort());
        ASSERT_TRUE(eventually([&] { return server.isConnected(); }));
        EXPECT_EQ(noDelayOfSocketWithPeerPort(remote.tcpPort()), std::optional(true)) << "accepted link";
    }
    // The only socket whose peer is this server's port is the client's.
    RemoteLink server(true);
    RemoteLink client(false);
    client.connectTo("127.0.0.1", server.listeningPort());
    ASSERT_TRUE(eventually([&] { return client.isConnected(); }));
    EXPECT_EQ(noDelayOfSocketWithPeerPort(server.listeningPort()), std::optional(true)) << "client link";
}

}  // namespace
}  // namespace corvello
