#include "logicosc/OSCNode.h"

#include <stdexcept>
#include <string>

#include "ip/UdpSocket.h"
#include "link/NetworkOrder.h"
#include "link/Socket.h"
#include "osc/OscOutboundPacketStream.h"
#include "logicosc/OscpackText.h"

namespace corvello {

namespace {

// 64 + 4 + 64 bytes at most: an OSC record always fits.
constexpr std::size_t kMessageBufferSize = 256;
constexpr int kBindAttempts = 8;
// More restarts than this within a second mean the loop cannot run at all.
constexpr int kRestartsPerSecond = 10;

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

std::string peerText(std::uint32_t address, std::uint16_t port)
{
    return endpointText(IpEndpointName(address, port));
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
    stopReceiving(Clock::time_point::max());
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

void OSCNode::followSender(bool follow, Clock::duration silenceLimit)
{
    std::lock_guard lock(peerMutex_);
    followSender_ = follow;
    senderPinned_ = false;
    silenceLimit_ = silenceLimit;
}

bool OSCNode::admitSender(std::uint32_t address, std::uint16_t port)
{
    if (!followSender_)
        return true;
    const Clock::time_point now = Clock::now();
    std::unique_lock lock(peerMutex_);
    const bool pinned = senderPinned_ && peer_;
    if (pinned && peer_->address == address) {
        senderLastHeard_ = now;
        // The DAW may send from a new port after a restart: answered there.
        if (peer_->port != port || sendSocket_)
            answerThroughReceiveSocket({address, port});
        return true;
    }
    if (pinned && now - senderLastHeard_ < silenceLimit_) {
        const std::uint32_t answered = peer_->address;
        lock.unlock();
        ignoredSenders_("OSC: ignored a datagram from %s: the DAW answered is at %s", peerText(address, port).c_str(),
                        addressText(IpEndpointName(answered, 0)).c_str());
        return false;
    }
    answerThroughReceiveSocket({address, port});
    senderPinned_ = true;
    senderLastHeard_ = now;
    lock.unlock();
    if (pinned)
        log::info("OSC: the DAW answered so far fell silent; now answering %s", peerText(address, port).c_str());
    else
        log::info("OSC: answering the DAW at %s", peerText(address, port).c_str());
    return true;
}

// Answers leave through the receive socket, so the sender sees them come from
// the port it talks to.
void OSCNode::answerThroughReceiveSocket(Peer peer)
{
    sendSocket_.reset();
    peer_ = std::make_unique<Peer>(peer);
}

void OSCNode::replacePeer(std::unique_ptr<UdpSocket> socket, std::unique_ptr<Peer> peer)
{
    std::unique_lock lock(peerMutex_);
    sendSocket_.swap(socket);
    peer_.swap(peer);
    senderPinned_ = false;
    lock.unlock();
    // The replaced socket closes here, after no sender can still be using it.
}

std::int32_t OSCNode::startReceiving(bool* startedNow)
{
    std::lock_guard lock(receptionMutex_);
    if (startedNow)
        *startedNow = false;
    if (receiving_)
        return receivePort_;
    const std::int32_t previousPort = receivePort_;
    closeEndedReception();
    std::int32_t port = 0;
    auto socket = bindReceiveSocket(previousPort, port);
    {
        std::lock_guard peerLock(peerMutex_);
        receiveSocket_ = std::move(socket);
    }
    receivePort_ = port;
    stopRequested_ = false;
    receiving_ = true;
    receiveThread_ = std::thread([this, &socket = *receiveSocket_, port] { runReceiveLoop(socket, port); });
    if (startedNow)
        *startedNow = true;
    return port;
}

std::unique_ptr<UdpListeningReceiveSocket> OSCNode::bindReceiveSocket(std::int32_t preferredPort, std::int32_t& port)
{
    // A DAW set up by hand keeps its port across a restart of reception.
    if (preferredPort > 0) {
        try {
            port = preferredPort;
            return std::make_unique<UdpListeningReceiveSocket>(IpEndpointName(preferredPort), &listener_);
        } catch (const std::runtime_error&) {
            // taken meanwhile: a new port, as at the start
        }
    }
    for (int attempt = 1;; ++attempt) {
        port = systemChosenUdpPort();
        try {
            return std::make_unique<UdpListeningReceiveSocket>(IpEndpointName(port), &listener_);
        } catch (const std::runtime_error& e) {
            // Only a port taken between the probe and the bind is worth a retry.
            if (std::string_view(e.what()) != "unable to bind udp socket\n" || attempt == kBindAttempts)
                throw;
        }
    }
}

void OSCNode::runReceiveLoop(UdpListeningReceiveSocket& socket, std::int32_t port)
{
    Clock::time_point windowStart = Clock::now();
    int restarts = 0;
    for (;;) {
        std::string failure;
        try {
            socket.Run();
        } catch (const std::exception& e) {
            failure = errorText(e);
        } catch (...) {
            failure = "an unknown exception";
        }
        if (stopRequested_)
            break;
        if (failure.empty())
            failure = "the loop returned";
        const Clock::time_point now = Clock::now();
        if (now - windowStart > std::chrono::seconds(1)) {
            windowStart = now;
            restarts = 0;
        }
        if (++restarts > kRestartsPerSecond) {
            log::error("OSC: UDP port %d is no longer served: %s", static_cast<int>(port), failure.c_str());
            break;
        }
        receiveFailures_("OSC: reception on UDP port %d failed (%s); receiving again", static_cast<int>(port),
                         failure.c_str());
    }
    receiving_ = false;
}

void OSCNode::closeEndedReception()
{
    if (receiveThread_.joinable())
        receiveThread_.join();
    std::unique_ptr<UdpListeningReceiveSocket> ended;
    std::lock_guard peerLock(peerMutex_);
    ended.swap(receiveSocket_);
    // A sender answered through the ended socket is forgotten with it.
    if (!sendSocket_)
        peer_.reset();
    senderPinned_ = false;
}

bool OSCNode::stopReceiving(Clock::time_point deadline)
{
    std::lock_guard lock(receptionMutex_);
    if (!receiveSocket_)
        return true;
    stopRequested_ = true;
    // oscpack's loop forgets a break that arrives before it has started, so
    // the break is repeated until the loop has really ended.
    while (receiving_) {
        if (Clock::now() >= deadline)
            return false;
        receiveSocket_->AsynchronousBreak();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    closeEndedReception();
    return true;
}

void OSCNode::receive(OscRecord record)
{
    filters_.offerUntilClaimed([&](OSCFilter& f) { return f.receive(record) != 0; });
}

}  // namespace corvello
