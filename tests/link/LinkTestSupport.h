#pragma once
// A remote made of raw sockets (the platform's own, through the socket seam)
// and a recording filter, for tests of the link node over real loopback.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "link/RemoteLink.h"
#include "link/Socket.h"
#include "link/WireFormat.h"

namespace corvello::testing_support {

using namespace std::chrono_literals;

// Polls `condition` until it holds or `timeout` passes.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 3s)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

inline std::vector<std::uint8_t> packetOf(const std::vector<MessageRecord>& records)
{
    std::vector<std::uint8_t> bytes;
    wire::writeRecords(records, [&](std::span<const std::uint8_t> p) { bytes.insert(bytes.end(), p.begin(), p.end()); });
    return bytes;
}

class RecordingFilter : public RemoteFilter {
public:
    explicit RecordingFilter(int claims = 1) : claims_(claims) {}

    int receive(const MessageRecord& record) override
    {
        std::lock_guard lock(mutex_);
        auto* link = dynamic_cast<RemoteLink*>(node);
        records_.push_back({record, link ? link->receivingChannel() : RemoteLink::Channel::Main});
        return claims_;
    }
    bool peerConnected(std::uint32_t address, std::uint32_t portWord) override
    {
        std::lock_guard lock(mutex_);
        connections_.push_back({address, static_cast<std::uint16_t>(portWord)});
        return claims_ != 0;
    }
    void peerDisconnected(std::intptr_t, std::int32_t) override
    {
        std::lock_guard lock(mutex_);
        ++disconnections_;
    }
    void peerRefused(std::uint32_t address) override
    {
        std::lock_guard lock(mutex_);
        refusals_.push_back(address);
    }

    struct Received {
        MessageRecord record;
        RemoteLink::Channel channel;
    };
    std::vector<Received> received() const
    {
        std::lock_guard lock(mutex_);
        return records_;
    }
    std::vector<net::PeerAddress> connections() const
    {
        std::lock_guard lock(mutex_);
        return connections_;
    }
    int disconnections() const
    {
        std::lock_guard lock(mutex_);
        return disconnections_;
    }
    std::vector<std::uint32_t> refusals() const
    {
        std::lock_guard lock(mutex_);
        return refusals_;
    }

private:
    const int claims_;
    mutable std::mutex mutex_;
    std::vector<Received> records_;
    std::vector<net::PeerAddress> connections_;
    int disconnections_ = 0;
    std::vector<std::uint32_t> refusals_;
};

// The remote's side of the link, driven step by step by a test.
class RawRemote {
public:
    // Connects to the node's TCP port on 127.0.0.1 from `local` (another
    // loopback address plays another host); with `preamble`, exchanges
    // metering ports and connects its own UDP socket to the node's.
    explicit RawRemote(std::uint16_t nodePort, bool preamble = true, std::uint32_t local = net::loopbackAddress())
    {
        net::startSockets();
        udp_ = net::openUdpSocket();
        net::bindToSystemPort(udp_, local);
        udpPort_ = static_cast<std::uint16_t>(net::localPort(udp_));
        tcp_ = net::openTcpSocket();
        net::bindToSystemPort(tcp_, local);
        connected_ = net::connectSocket(tcp_, {net::loopbackAddress(), net::networkPort(nodePort)});
        if (preamble)
            exchangePorts();
    }
    ~RawRemote()
    {
        net::closeSocket(tcp_);
        net::closeSocket(udp_);
    }
    RawRemote(const RawRemote&) = delete;
    RawRemote& operator=(const RawRemote&) = delete;

    bool connected() const { return connected_; }
    bool gotPreamble() const { return nodeMeteringPort_ != 0; }
    std::uint16_t nodeMeteringPort() const { return nodeMeteringPort_; }
    std::uint16_t tcpPort() const { return static_cast<std::uint16_t>(net::localPort(tcp_)); }

    void exchangePorts()
    {
        std::uint8_t theirs[2];
        if (!receiveSome(tcp_, theirs, 2, 2))
            return;
        nodeMeteringPort_ = static_cast<std::uint16_t>(theirs[0] | theirs[1] << 8);
        std::uint8_t ours[2] = {static_cast<std::uint8_t>(udpPort_), static_cast<std::uint8_t>(udpPort_ >> 8)};
        net::sendBytes(tcp_, ours, 2);
        net::connectSocket(udp_, {net::loopbackAddress(), net::networkPort(nodeMeteringPort_)});
    }

    void sendTcp(const std::vector<std::uint8_t>& bytes)
    {
        net::sendBytes(tcp_, bytes.data(), static_cast<int>(bytes.size()));
    }
    void sendUdp(const std::vector<std::uint8_t>& bytes)
    {
        net::sendBytes(udp_, bytes.data(), static_cast<int>(bytes.size()));
    }

    // Reads on the channel until `count` records have arrived or 3 s pass.
    std::vector<MessageRecord> receive(RemoteLink::Channel channel, std::size_t count)
    {
        net::SocketHandle socket = channel == RemoteLink::Channel::Main ? tcp_ : udp_;
        std::vector<std::uint8_t>& stream = channel == RemoteLink::Channel::Main ? tcpStream_ : udpStream_;
        std::vector<MessageRecord> records;
        auto deadline = std::chrono::steady_clock::now() + 3s;
        while (records.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::uint8_t chunk[4096];
            int n = receiveSome(socket, chunk, sizeof chunk, 1);
            if (n <= 0)
                break;
            stream.insert(stream.end(), chunk, chunk + n);
            wire::parseStream(stream, [&](const MessageRecord& r) { records.push_back(r); });
        }
        return records;
    }

    // True when the node closes the TCP connection within `timeout` (a zero
    // timeout only looks).
    bool seesClose(std::chrono::milliseconds timeout = 3s)
    {
        std::uint8_t chunk[256];
        auto deadline = std::chrono::steady_clock::now() + timeout;
        do {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            int n = receiveSome(tcp_, chunk, sizeof chunk, 1, std::max(0, static_cast<int>(left.count())));
            if (n <= 0)
                return n == 0;
        } while (std::chrono::steady_clock::now() < deadline);
        return false;
    }

private:
    // One receive after the socket becomes readable; -1 on time-out or error.
    static int receiveSome(net::SocketHandle socket, std::uint8_t* bytes, int capacity, int minimum, int waitMs = 3000)
    {
        int got = 0;
        while (got < minimum) {
            bool readable = false;
            if (net::waitReadable(std::span(&socket, 1), waitMs, std::span(&readable, 1)) != net::WaitResult::Ready)
                return -1;
            int n = net::receiveBytes(socket, bytes + got, capacity - got);
            if (n <= 0)
                return got > 0 ? got : n;
            got += n;
        }
        return got;
    }

    net::SocketHandle tcp_ = net::kNoSocket;
    net::SocketHandle udp_ = net::kNoSocket;
    std::uint16_t udpPort_ = 0;
    std::uint16_t nodeMeteringPort_ = 0;
    bool connected_ = false;
    std::vector<std::uint8_t> tcpStream_, udpStream_;
};

}  // namespace corvello::testing_support
