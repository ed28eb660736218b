#include "link/RemoteLink.h"

#include "link/WireFormat.h"
#include "platform/Log.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <utility>

namespace corvello {

namespace {

// Creates a UDP socket bound on `address` to a system-chosen port; the port
// goes to `port` (-1 when it cannot be read).
net::SocketHandle openBoundUdpSocket(std::uint32_t address, std::int32_t& port)
{
    net::SocketHandle socket = net::openUdpSocket();
    if (socket == net::kNoSocket)
        return socket;
    net::bindToSystemPort(socket, address);
    port = net::localPort(socket);
    return socket;
}

// Reads exactly `bytes.size()` bytes from a blocking socket, waiting at most
// `timeoutMs` in all; false on time-out, close or error.
bool receiveInFull(net::SocketHandle socket, std::span<std::uint8_t> bytes, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t got = 0;
    while (got < bytes.size()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        std::array<bool, 1> readable{};
        net::WaitResult wait = net::waitReadable(std::span(&socket, 1), static_cast<int>(left.count()), readable);
        if (wait == net::WaitResult::Failed)
            return false;
        if (!readable[0])
            continue;
        int n = net::receiveBytes(socket, bytes.data() + got, static_cast<int>(bytes.size() - got));
        if (n == 0 || (n < 0 && !net::lastErrorIsTransient()))
            return false;
        if (n > 0)
            got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

RemoteLink::RemoteLink(bool serverMode, LinkSettings settings) : serverMode(serverMode), settings_(std::move(settings))
{
    net::startSockets();
    meteringSocket = openBoundUdpSocket(settings_.listenAddress, meteringPort);
    if (!serverMode)
        return;
    listenSocket = net::openTcpSocket();
    if (listenSocket == net::kNoSocket)
        return;
    if (!net::bindToSystemPort(listenSocket, settings_.listenAddress) || !net::listenWithMaximumBacklog(listenSocket)) {
        net::SocketError error = net::lastSocketError();
        log::error("link: cannot listen on %s: %s", net::formatIPv4(settings_.listenAddress).c_str(), error.text.c_str());
        net::closeSocket(listenSocket);
        listenSocket = net::kNoSocket;
        return;
    }
    listenPort = net::localPort(listenSocket);
    start();
}

RemoteLink::~RemoteLink()
{
    outgoing_.stop();
    stopRequested = true;
    wakeLinkThread();
    if (linkThread.joinable())
        linkThread.join();
    closeLink();
    for (PendingRemote& pending : pending_)
        net::closeSocket(pending.socket);
    for (net::SocketHandle socket : {listenSocket, meteringSocket})
        net::closeSocket(socket);
}

void RemoteLink::addFilter(RemoteFilter* filter) { filters.add(filter); }
void RemoteLink::removeFilter(RemoteFilter* filter) { filters.remove(filter); }

void RemoteLink::sendMain(const MessageRecord& record)
{
    std::vector<MessageRecord> one{record};
    writeRecords(one, Channel::Main);
}

void RemoteLink::sendMetering(const MessageRecord& record)
{
    std::vector<MessageRecord> one{record};
    writeRecords(one, Channel::Metering);
}

void RemoteLink::queueMain(const MessageRecord& record) { queueOn(Channel::Main, record); }
void RemoteLink::queueMetering(const MessageRecord& record) { queueOn(Channel::Metering, record); }
void RemoteLink::flushMain() { flushChannel(Channel::Main); }
void RemoteLink::flushMetering() { flushChannel(Channel::Metering); }

void RemoteLink::connectTo(const std::string& host, std::int32_t port)
{
    {
        std::lock_guard lock(targetLock);
        targetHost = host;
        targetPort = port;
    }
    start();
    wakeLinkThread();
}

std::uint16_t RemoteLink::listeningPort() { return listenPort < 0 ? 0 : static_cast<std::uint16_t>(listenPort); }

bool RemoteLink::isConnected() { return connected; }

void RemoteLink::setNoDelay()
{
    std::lock_guard sending(main_.sendLock);
    noDelay_ = true;
    net::setNoDelay(linkSocket, true);
}

void RemoteLink::clearNoDelay()
{
    std::lock_guard sending(main_.sendLock);
    noDelay_ = false;
    net::setNoDelay(linkSocket, false);
}

void RemoteLink::writeRecords(std::vector<MessageRecord>& records, Channel channel)
{
    std::lock_guard sending(channelState(channel).sendLock);
    writeRecordsWhileSending(records, channel);
}

void RemoteLink::writeRecordsWhileSending(std::vector<MessageRecord>& records, Channel channel)
{
    net::SocketHandle socket = channelSocket(channel);
    bool gaveUp = false;
    wire::writeRecords(records, [&](std::span<const std::uint8_t> packet) {
        // Once a packet could not be sent the peer is not taking data: the rest
        // of the batch is dropped rather than waiting out the retries again for
        // each packet while the send lock is held.
        if (gaveUp)
            return;
        std::array<std::uint8_t, wire::kPacketCapacity> copy;
        std::copy(packet.begin(), packet.end(), copy.begin());
        gaveUp = dispatchBufferWithRetries(socket, copy.data(), static_cast<int>(packet.size())) != 0;
    });
    records.clear();
}

namespace {

// Never destroyed: the process-wide node may still send while the program exits.
log::RateLimitedLog& sendError = *new log::RateLimitedLog;
log::RateLimitedLog& packetDropped = *new log::RateLimitedLog;

}  // namespace

int RemoteLink::dispatchBufferWithRetries(net::SocketHandle socket, std::uint8_t* packet, int length)
{
    if (socket == net::kNoSocket)
        return -1;
    packet[0] = static_cast<std::uint8_t>(length);
    packet[1] = static_cast<std::uint8_t>(length >> 8);
    net::WaitResult wait = net::waitWritable(socket, kSendWaitMs);
    if (wait == net::WaitResult::Failed)
        return -1;
    int sent = 0;
    if (wait == net::WaitResult::Ready) {
        int result = net::sendBytes(socket, packet, length);
        if (result == length)
            return 0;
        bool hardError = result < 0 && !net::lastErrorIsTransient();
        net::SocketError error = net::lastSocketError();
        sendError("RemoteLink::dispatchBufferWithRetries error. Got ret=%d (errno=%d: %s) sending data.", result,
                  error.code, error.text.c_str());
        if (hardError)
            return -1;  // a reset or unreachable peer: waiting cannot help
        sent = result > 0 ? result : 0;
    }
    for (int retry = 1; retry < kSendRetries; ++retry) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kSendWaitMs));
        if (net::waitWritable(socket, kSendWaitMs) != net::WaitResult::Ready)
            continue;
        int result = net::sendBytes(socket, packet + sent, length - sent);
        if (result > 0)
            sent += result;
        if (sent == length)
            return 0;
    }
    packetDropped("dispatchBufferWithRetries: giving up on packet");
    if (sent > 0)
        net::shutdownSocket(socket);  // the peer holds part of a packet; its stream cannot be framed again
    return -1;
}

void RemoteLink::start()
{
    if (threadRunning)
        return;
    if (linkThread.joinable())
        linkThread.join();  // a client-mode thread that ended after a failed connection
    stopRequested = false;
    threadRunning = true;
    linkThread = std::thread([this] { run(); });
}

RemoteLink::ChannelState& RemoteLink::channelState(Channel channel) { return channel == Channel::Main ? main_ : metering_; }

net::SocketHandle RemoteLink::channelSocket(Channel channel) const
{
    return channel == Channel::Main ? linkSocket : meteringSocket;
}

void RemoteLink::queueOn(Channel channel, const MessageRecord& record)
{
    ChannelState& state = channelState(channel);
    std::lock_guard lock(state.queueLock);
    state.queue.push_back(record);
}

void RemoteLink::flushChannel(Channel channel)
{
    ChannelState& state = channelState(channel);
    std::lock_guard sending(state.sendLock);
    std::vector<MessageRecord> batch;
    {
        std::lock_guard lock(state.queueLock);
        batch.swap(state.queue);
    }
    writeRecordsWhileSending(batch, channel);
}

void RemoteLink::WaitSet::add(net::SocketHandle socket)
{
    if (socket != net::kNoSocket && count < kCapacity)
        sockets[count++] = socket;
}

bool RemoteLink::WaitSet::isReady(net::SocketHandle socket) const
{
    for (std::size_t i = 0; i < count; ++i)
        if (sockets[i] == socket)
            return ready[i];
    return false;
}

void RemoteLink::run()
{
    std::vector<std::uint8_t> linkChunk(kReceiveChunkSize);
    std::vector<std::uint8_t> meteringChunk(kReceiveChunkSize);
    while (!stopRequested) {
        if (!serverMode && clientTargetChanged()) {
            if (!followClientTarget())
                break;
            continue;
        }
        WaitSet waited = socketsToWatch();
        auto wait = net::waitReadable(std::span(waited.sockets.data(), waited.count), millisecondsToNextDeadline(),
                                      std::span(waited.ready.data(), waited.count));
        if (wait == net::WaitResult::Failed || stopRequested)
            break;
        if (waited.isReady(wake_.socket()))
            wake_.drain();
        if (connected && waited.isReady(linkSocket))
            readLink(linkChunk);
        if (waited.isReady(meteringSocket))
            readMetering(meteringChunk);
        servePending(waited);
        if (serverMode && waited.isReady(listenSocket))
            acceptRemote();
    }
    threadRunning = false;
}

RemoteLink::WaitSet RemoteLink::socketsToWatch() const
{
    WaitSet set;
    set.add(wake_.socket());
    set.add(listenSocket);
    set.add(connected ? linkSocket : net::kNoSocket);
    set.add(meteringSocket);
    for (const PendingRemote& pending : pending_)
        set.add(pending.socket);
    return set;
}

int RemoteLink::millisecondsToNextDeadline() const
{
    if (pending_.empty())
        return net::kWaitForever;
    // Deadlines grow with the order of arrival: the oldest is the nearest.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(pending_.front().deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

bool RemoteLink::exchangeMeteringPorts(net::SocketHandle link, net::PeerAddress peer)
{
    std::array<std::uint8_t, 2> ours{static_cast<std::uint8_t>(meteringPort), static_cast<std::uint8_t>(meteringPort >> 8)};
    std::array<std::uint8_t, 2> theirs{};
    if (net::sendBytes(link, ours.data(), 2) != 2 || !receiveInFull(link, theirs, kPreambleTimeoutMs)) {
        log::error("link: no metering port from %s; connection closed.", net::formatIPv4(peer.address).c_str());
        return false;
    }
    aimMeteringAt(peer, static_cast<std::uint16_t>(theirs[0] | theirs[1] << 8));
    return true;
}

void RemoteLink::aimMeteringAt(net::PeerAddress peer, std::uint16_t port)
{
    peerMeteringPort = port;
    if (!net::connectSocket(meteringSocket, {peer.address, net::networkPort(port)})) {
        log::warning("link: cannot aim the metering channel at %s:%u", net::formatIPv4(peer.address).c_str(),
                     unsigned{port});
        return;
    }
    net::setNonBlocking(meteringSocket, true);
}

void RemoteLink::offer(const MessageRecord& record)
{
    filters.offerUntilClaimed([&](RemoteFilter& f) { return f.receive(record) != 0; });
}

void RemoteLink::parseStream(std::vector<std::uint8_t>& buffer)
{
    receivingChannel_ = Channel::Main;
    if (wire::parseStream(buffer, [this](const MessageRecord& record) { offer(record); }) == wire::ParseResult::Complete)
        return;
    buffer.clear();
    malformedLog_("link: malformed packet from the remote at %s; connection closed.",
                  net::formatIPv4(linkPeer_.address).c_str());
    endConnection();
}

bool RemoteLink::clientTargetChanged()
{
    std::lock_guard lock(targetLock);
    return targetHost != currentHost || targetPort != currentPort;
}

bool RemoteLink::followClientTarget()
{
    {
        std::lock_guard lock(targetLock);
        currentHost = targetHost;
        currentPort = targetPort;
    }
    closeLink();
    if (currentPort == 0)
        return true;
    net::SocketHandle link = net::openTcpSocket();
    if (link == net::kNoSocket)
        return false;
    net::setSendBufferSize(link, kClientSendBufferSize);
    net::setNoDelay(link, noDelay_);
    net::PeerAddress peer{net::resolveIPv4(currentHost), net::networkPort(static_cast<std::uint16_t>(currentPort))};
    if (peer.address == 0 || !net::connectSocket(link, peer) || !exchangeMeteringPorts(link, peer)) {
        net::closeSocket(link);
        return false;
    }
    net::setNonBlocking(link, true);
    installLink(link, peer);
    return true;
}

void RemoteLink::acceptRemote()
{
    net::PeerAddress peer;
    net::SocketHandle link = net::acceptConnection(listenSocket, peer);
    if (link == net::kNoSocket)
        return;
    if (!admits(peer)) {
        refusedLog_("link: refused a remote at %s: outside the allowed address ranges (the allow setting)",
                    net::formatIPv4(peer.address).c_str());
        net::closeSocket(link);
        filters.forEach([&](RemoteFilter& f) { f.peerRefused(peer.address); });
        return;
    }
    net::setNonBlocking(link, true);
    net::setNoDelay(link, noDelay_);
    std::array<std::uint8_t, 2> ours{static_cast<std::uint8_t>(meteringPort), static_cast<std::uint8_t>(meteringPort >> 8)};
    if (net::sendBytes(link, ours.data(), 2) != 2) {
        net::closeSocket(link);
        return;
    }
    addPending(link, peer);
}

bool RemoteLink::admits(net::PeerAddress peer) const
{
    const IpAddress address = mappedIPv4(peer.address);
    return settings_.allowed.empty() ? AddressRanges::localNetworks().contains(address)
                                     : settings_.allowed.contains(address);
}

void RemoteLink::addPending(net::SocketHandle link, net::PeerAddress peer)
{
    if (pending_.size() >= kMaxPendingRemotes) {
        PendingRemote& oldest = pending_.front();
        preambleLog_("link: more than %zu connections wait for their metering port; dropped the oldest, from %s",
                     kMaxPendingRemotes, net::formatIPv4(oldest.peer.address).c_str());
        net::closeSocket(oldest.socket);
        pending_.pop_front();
    }
    PendingRemote pending;
    pending.socket = link;
    pending.peer = peer;
    pending.deadline = Clock::now() + std::chrono::milliseconds(kPreambleTimeoutMs);
    pending_.push_back(pending);
}

void RemoteLink::servePending(const WaitSet& waited)
{
    const auto now = Clock::now();
    std::erase_if(pending_, [&](PendingRemote& pending) {
        if (waited.isReady(pending.socket) && readPreamble(pending))
            return true;
        if (now < pending.deadline)
            return false;
        preambleLog_("link: no metering port from the remote at %s within %d ms; connection closed.",
                     net::formatIPv4(pending.peer.address).c_str(), kPreambleTimeoutMs);
        dropPending(pending);
        return true;
    });
}

bool RemoteLink::readPreamble(PendingRemote& pending)
{
    int n = net::receiveBytes(pending.socket, pending.port.data() + pending.received,
                              static_cast<int>(pending.port.size() - pending.received));
    if (n < 0 && net::lastErrorIsTransient())
        return false;
    if (n <= 0) {
        dropPending(pending);
        return true;
    }
    pending.received += static_cast<std::size_t>(n);
    if (pending.received < pending.port.size())
        return false;
    admitRemote(pending);
    return true;
}

void RemoteLink::dropPending(PendingRemote& pending)
{
    net::closeSocket(pending.socket);
    pending.socket = net::kNoSocket;
}

void RemoteLink::admitRemote(const PendingRemote& pending)
{
    if (connected)
        log::warning("link: the remote at %s replaces the remote at %s",
                     net::formatIPv4(pending.peer.address).c_str(), net::formatIPv4(linkPeer_.address).c_str());
    aimMeteringAt(pending.peer, static_cast<std::uint16_t>(pending.port[0] | pending.port[1] << 8));
    installLink(pending.socket, pending.peer);
    filters.offerUntilClaimed([&](RemoteFilter& f) { return f.peerConnected(pending.peer.address, pending.peer.port); });
}

void RemoteLink::installLink(net::SocketHandle link, net::PeerAddress peer)
{
    std::lock_guard sending(main_.sendLock);
    if (connected)
        net::shutdownSocket(linkSocket);
    net::closeSocket(linkSocket);
    linkSocket = link;
    linkPeer_ = peer;
    linkBuffer.clear();
    connected = true;
}

void RemoteLink::closeLink()
{
    std::lock_guard sending(main_.sendLock);
    if (connected)
        net::shutdownSocket(linkSocket);
    connected = false;
    net::closeSocket(linkSocket);
    linkSocket = net::kNoSocket;
    linkBuffer.clear();
}

void RemoteLink::endConnection()
{
    filters.forEach([this](RemoteFilter& f) { f.peerDisconnected(listenSocket, listenPort); });
    closeLink();
}

void RemoteLink::readLink(std::vector<std::uint8_t>& chunk)
{
    int n = net::receiveBytes(linkSocket, chunk.data(), kReceiveChunkSize);
    if (n > 0) {
        linkBuffer.insert(linkBuffer.end(), chunk.begin(), chunk.begin() + n);
        parseStream(linkBuffer);
    } else if (n == 0 || !net::lastErrorIsTransient()) {
        endConnection();
    }
}

void RemoteLink::readMetering(std::vector<std::uint8_t>& chunk)
{
    net::PeerAddress from;
    int n = net::receiveDatagram(meteringSocket, chunk.data(), kReceiveChunkSize, from);
    if (n <= 0)
        return;
    if (!connected || from.address != linkPeer_.address) {
        meteringLog_("link: metering datagram from %s dropped: not from the connected remote",
                     net::formatIPv4(from.address).c_str());
        return;
    }
    receivingChannel_ = Channel::Metering;
    auto datagram = std::span<const std::uint8_t>(chunk.data(), static_cast<std::size_t>(n));
    if (wire::parseDatagram(datagram, [this](const MessageRecord& record) { offer(record); }) !=
        wire::ParseResult::Complete)
        meteringLog_("link: malformed datagram on the metering channel from %s; dropped, the link stays up.",
                     net::formatIPv4(from.address).c_str());
}

void RemoteLink::wakeLinkThread() { wake_.raise(); }

namespace {

std::mutex processNodeLock;
RemoteLink* processNode = nullptr;  // never destroyed: its link thread serves until exit

RemoteLink& processWideNode(bool serverMode, const LinkSettings& settings = {})
{
    std::lock_guard lock(processNodeLock);
    if (!processNode)
        processNode = new RemoteLink(serverMode, settings);
    return *processNode;
}

}  // namespace

std::uint16_t startRemoteLink(const LinkSettings& settings) { return processWideNode(true, settings).listeningPort(); }

std::uint16_t remoteLinkListeningPort() { return processWideNode(true).listeningPort(); }

RemoteNode& remoteLinkNode() { return processWideNode(false); }

}  // namespace corvello
