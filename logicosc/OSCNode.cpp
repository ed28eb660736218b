#include "logicosc/OSCNode.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "ip/UdpSocket.h"
#include "link/NetworkOrder.h"
#include "link/Socket.h"
#include "osc/OscOutboundPacketStream.h"

namespace corvello {

namespace {

// 64 + 4 + 64 bytes at most: an OSC record always fits.
constexpr std::size_t kMessageBufferSize = 256;
constexpr int kBindAttempts = 8;

// oscpack neither exposes a receive socket's handle nor reads its port back
// without unbinding it (LocalEndpointFor disconnects, which on Linux releases
// a port the system chose). So the system chooses a free port on a probe
// socket of our own, read back with getsockname, and oscpack binds that port
// explicitly; a port taken in between is retried with a fresh one.
std::int32_t systemChosenUdpPort()
{
    net::startSockets();
    const net::SocketHandle probe = net::openUdpSocket();
    if (probe == net::kNoSocket)
        throw std::runtime_error("unable to create udp socket\n");
    const bool bound = net::bindToSystemPort(probe);
    const std::int32_t port = bound ? net::localPort(probe) : -1;
    net::closeSocket(probe);
    if (!bound)
        throw std::runtime_error("unable to bind udp socket\n");
    if (port <= 0)
        throw std::runtime_error("unable to get port\n");
    return port;
}

bool isBindFailure(const std::runtime_error& e)
{
    return std::string_view(e.what()) == "unable to bind udp socket\n";
}

}  // namespace

OSCNode::OSCNode() = default;

OSCNode::~OSCNode()
{
    // The filters learn first that the node is going.
    filters_.forEach([](OSCFilter& f) { f.setNode(nullptr); });
    // A peer answered through the receive socket must be gone before it is.
    followSender_ = false;
    replacePeer(nullptr, nullptr);
    stopReceiving();
}

void OSCNode::addFilter(OSCFilter* filter)
{
    filters_.add(filter);
}

void OSCNode::sendFloat(const OscRecord& record)
{
    char buffer[kMessageBufferSize];
    osc::OutboundPacketStream stream(buffer, sizeof buffer);
    const std::string address(record.addressView());
    stream << osc::BeginMessage(address.c_str()) << record.value << osc::EndMessage;
    sendDatagram(stream.Data(), stream.Size());
}

bool OSCNode::sendString(const OscRecord& record)
{
    char buffer[kMessageBufferSize];
    osc::OutboundPacketStream stream(buffer, sizeof buffer);
    const std::string address(record.addressView());
    const std::string text(record.textView());
    stream << osc::BeginMessage(address.c_str()) << text.c_str() << osc::EndMessage;
    return sendDatagram(stream.Data(), stream.Size());
}

bool OSCNode::sendDatagram(const char* bytes, std::size_t size)
{
    std::lock_guard lock(peerMutex_);
    if (!peer_)
        return false;
    UdpSocket& socket = sendSocket_ ? static_cast<UdpSocket&>(*sendSocket_) : *receiveSocket_;
    try {
        socket.SendTo(IpEndpointName(peer_->address, peer_->port), bytes, size);
    } catch (const std::runtime_error&) {
        // A refused datagram is not reported, like any other send error.
    }
    return true;
}

void OSCNode::setPeer(const char* host, std::int32_t port)
{
    if (!host || !*host) {
        replacePeer(nullptr, nullptr);
        return;
    }
    // The lookup may take a while; senders keep the old peer meanwhile.
    net::startSockets();
    const std::uint32_t address = fromNetworkOrder32(net::resolveIPv4(host));
    auto socket = std::make_unique<UdpSocket>();  // throws "unable to create udp socket\n"
    replacePeer(std::move(socket), std::make_unique<Peer>(Peer{address, static_cast<std::uint16_t>(port)}));
}

void OSCNode::noteSender(std::uint32_t address, std::uint16_t port)
{
    if (!followSender_)
        return;
    std::lock_guard lock(peerMutex_);
    if (peer_ && !sendSocket_ && peer_->address == address && peer_->port == port)
        return;
    // Answers leave through the receive socket, so the sender sees them come
    // from the port it talks to.
    sendSocket_.reset();
    peer_ = std::make_unique<Peer>(Peer{address, port});
}

void OSCNode::replacePeer(std::unique_ptr<UdpSocket> socket, std::unique_ptr<Peer> peer)
{
    std::unique_lock lock(peerMutex_);
    sendSocket_.swap(socket);
    peer_.swap(peer);
    lock.unlock();
    // The replaced socket closes here, after no sender can still be using it.
}

std::int32_t OSCNode::startReceiving()
{
    if (receiveSocket_)
        return receivePort_;
    for (int attempt = 1;; ++attempt) {
        const std::int32_t port = systemChosenUdpPort();
        try {
            receiveSocket_ = std::make_unique<UdpListeningReceiveSocket>(IpEndpointName(port), &listener_);
            receivePort_ = port;
            break;
        } catch (const std::runtime_error& e) {
            if (!isBindFailure(e) || attempt == kBindAttempts)
                throw;
        }
    }
    receiving_ = true;
    receiveThread_ = std::thread([this] { runReceiveLoop(); });
    return receivePort_;
}

void OSCNode::runReceiveLoop()
{
    try {
        receiveSocket_->Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "OSC: reception stopped: %s", e.what());
    }
    receiving_ = false;
}

void OSCNode::stopReceiving()
{
    if (!receiveSocket_)
        return;
    // oscpack's loop forgets a break that arrives before it has started, so
    // the break is repeated until the loop has really ended.
    while (receiving_) {
        receiveSocket_->AsynchronousBreak();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    receiveThread_.join();
    receiveSocket_.reset();
}

void OSCNode::receive(OscRecord record)
{
    filters_.offerUntilClaimed([&](OSCFilter& f) { return f.receive(record) != 0; });
}

}  // namespace corvello
