#include "link/RemoteLink.h"

#include "link/WireFormat.h"
#include "platform/Log.h"

#include <array>
#include <chrono>
#include <cstdio>

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

RemoteLink::RemoteLink(bool serverMode) : serverMode(serverMode)
{
    net::startSockets();
    meteringSocket = openBoundUdpSocket(net::kAnyAddress, meteringPort);
    std::int32_t wakePort = -1;
    wakeSocket = openBoundUdpSocket(net::loopbackAddress(), wakePort);
    if (wakeSocket != net::kNoSocket)
        net::connectSocket(wakeSocket, {net::loopbackAddress(), net::networkPort(static_cast<std::uint16_t>(wakePort))});
    if (!serverMode)
        return;
    listenSocket = net::openTcpSocket();
    if (listenSocket == net::kNoSocket)
        return;
    net::bindToSystemPort(listenSocket);
    net::listenWithMaximumBacklog(listenSocket);
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
    for (net::SocketHandle socket : {listenSocket, meteringSocket, wakeSocket})
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
    net::setNoDelay(linkSocket, true);
}

void RemoteLink::clearNoDelay()
{
    std::lock_guard sending(main_.sendLock);
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
        std::array<net::SocketHandle, 4> candidates{wakeSocket, listenSocket, connected ? linkSocket : net::kNoSocket,
                                                    meteringSocket};
        std::array<net::SocketHandle, 4> watched{};
        std::size_t count = 0;
        for (net::SocketHandle s : candidates)
            if (s != net::kNoSocket)
                watched[count++] = s;
        std::array<bool, 4> ready{};
        auto wait = net::waitReadable(std::span(watched.data(), count), kLoopWaitMs, std::span(ready.data(), count));
        if (wait == net::WaitResult::Failed || stopRequested)
            break;
        auto isReady = [&](net::SocketHandle s) {
            for (std::size_t i = 0; i < count; ++i)
                if (watched[i] == s)
                    return ready[i];
            return false;
        };
        if (isReady(wakeSocket))
            drainWakeSocket();
        if (serverMode && isReady(listenSocket)) {
            acceptRemote();
            continue;
        }
        if (connected && isReady(linkSocket))
            readLink(linkChunk);
        if (isReady(meteringSocket))
            readMetering(meteringChunk);
    }
    threadRunning = false;
}

bool RemoteLink::exchangeMeteringPorts(net::SocketHandle link, net::PeerAddress peer)
{
    std::array<std::uint8_t, 2> ours{static_cast<std::uint8_t>(meteringPort), static_cast<std::uint8_t>(meteringPort >> 8)};
    std::array<std::uint8_t, 2> theirs{};
    if (net::sendBytes(link, ours.data(), 2) != 2 || !receiveInFull(link, theirs, kPreambleTimeoutMs)) {
        std::fputs("ZEB::No metering port from the remote; connection closed.\n", stderr);
        return false;
    }
    peerMeteringPort = theirs[0] | theirs[1] << 8;
    if (!net::connectSocket(meteringSocket, {peer.address, net::networkPort(static_cast<std::uint16_t>(peerMeteringPort))})) {
        std::fputs("ZEB::Unable to connect Metering socket.\n", stderr);
        return true;
    }
    net::setNonBlocking(meteringSocket, true);
    return true;
}

void RemoteLink::parseStream(std::vector<std::uint8_t>& buffer, Channel channel)
{
    receivingChannel_ = channel;
    auto offer = [this](const MessageRecord& record) {
        filters.offerUntilClaimed([&](RemoteFilter& f) { return f.receive(record) != 0; });
    };
    if (wire::parseStream(buffer, offer) == wire::ParseResult::Complete)
        return;
    buffer.clear();
    if (channel == Channel::Metering) {
        std::fputs("RemoteLink: malformed packet on the metering channel; received bytes dropped.\n", stderr);
        return;
    }
    std::fputs("RemoteLink: malformed packet from the remote; connection closed.\n", stderr);
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
    net::setNoDelay(link, true);
    net::PeerAddress peer{net::resolveIPv4(currentHost), net::networkPort(static_cast<std::uint16_t>(currentPort))};
    if (peer.address == 0 || !net::connectSocket(link, peer) || !exchangeMeteringPorts(link, peer)) {
        net::closeSocket(link);
        return false;
    }
    net::setNonBlocking(link, true);
    installLink(link);
    return true;
}

void RemoteLink::acceptRemote()
{
    net::PeerAddress peer;
    net::SocketHandle link = net::acceptConnection(listenSocket, peer);
    if (link == net::kNoSocket)
        return;
    if (!exchangeMeteringPorts(link, peer)) {
        net::closeSocket(link);
        return;
    }
    net::setNonBlocking(link, true);
    installLink(link);
    filters.offerUntilClaimed([&](RemoteFilter& f) { return f.peerConnected(peer.address, peer.port); });
}

void RemoteLink::installLink(net::SocketHandle link)
{
    std::lock_guard sending(main_.sendLock);
    if (connected)
        net::shutdownSocket(linkSocket);
    net::closeSocket(linkSocket);
    linkSocket = link;
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
        parseStream(linkBuffer, Channel::Main);
    } else if (n == 0 || !net::lastErrorIsTransient()) {
        endConnection();
    }
}

void RemoteLink::readMetering(std::vector<std::uint8_t>& chunk)
{
    int n = net::receiveBytes(meteringSocket, chunk.data(), kReceiveChunkSize);
    if (n <= 0)
        return;
    meteringBuffer.insert(meteringBuffer.end(), chunk.begin(), chunk.begin() + n);
    parseStream(meteringBuffer, Channel::Metering);
}

void RemoteLink::wakeLinkThread()
{
    static constexpr std::uint8_t kWake = 1;
    if (wakeSocket != net::kNoSocket)
        net::sendBytes(wakeSocket, &kWake, 1);
}

void RemoteLink::drainWakeSocket()
{
    std::uint8_t byte;
    net::receiveBytes(wakeSocket, &byte, 1);
}

namespace {

std::mutex processNodeLock;
RemoteLink* processNode = nullptr;  // never destroyed: its link thread serves until exit

RemoteLink& processWideNode(bool serverMode)
{
    std::lock_guard lock(processNodeLock);
    if (!processNode) {
        processNode = new RemoteLink(serverMode);
        processNode->setNoDelay();
    }
    return *processNode;
}

}  // namespace

std::uint16_t remoteLinkListeningPort() { return processWideNode(true).listeningPort(); }

RemoteNode& remoteLinkNode() { return processWideNode(false); }

}  // namespace corvello
