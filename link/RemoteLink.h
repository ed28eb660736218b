#pragma once
// The remote-link node over TCP (main channel) and a connected UDP socket
// (metering channel). In server mode it listens on a system-chosen port and
// serves one remote at a time, the newest connection winning; in client mode
// it connects to a given host and port (the reference remote uses this).
//
// Threads: the link thread accepts, reads, parses and runs every filter.
// Queueing, flushing and sending may run on any thread: each channel's queue
// has a lock of its own, and each channel sends one packet at a time under a
// send lock that the link thread also takes to close or replace the TCP
// socket, so a send never reaches a descriptor that was closed and reused.
//
// Decisions the protocol leaves open:
// - A connection from outside the allowed address ranges is closed at once,
//   before its preamble is answered, with one log line (rate-limited); each
//   filter hears peerRefused.
// - A malformed TCP stream (packet length below 2, an item past its packet)
//   closes the connection with one stderr line, as an orderly close does
//   (filters hear peerDisconnected).
// - Each metering datagram is parsed on its own; a malformed one is dropped
//   with one stderr line and the link stays up. Datagrams count only from the
//   connected remote's address, and none while no remote is connected.
// - The 2-byte metering-port preamble is read in full within kPreambleTimeoutMs.
//   Connections waiting for it are watched together with everything else, at
//   most kMaxPendingRemotes of them (beyond that the oldest is dropped), so a
//   silent connection never delays a proper remote. It runs before the
//   current remote is replaced, so a connection that never completes it is
//   closed and the current remote keeps the link. A replacement is reported
//   with both addresses.
// - The link thread sleeps until a socket or the wake signal is ready; the
//   only time-out it sets is the nearest preamble deadline.
// - A hard read error on the TCP connection (a reset) ends it like an orderly
//   close; only "would block" and "interrupted" are ignored. Read errors on the
//   metering socket are ignored.
// - A packet the system accepts only in part is completed within the send
//   retries; if that fails the connection is shut down, because the peer's
//   stream can no longer be framed.
// - A packet that gives up drops the rest of its batch, so a stalled remote
//   holds a send lock for one packet's retries per flush, not for every
//   packet's; a hard send error (a reset, an unreachable port) gives up at once.
// - The node owns its outgoing queue (outgoing()); its worker does the
//   flushing, and the destructor stops it before closing any socket.
// - Unparsed bytes of a connection never carry over to the next one.
// - Destruction stops and joins the link thread and closes every socket.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/RemoteNode.h"
#include "link/AddressRange.h"
#include "link/OutgoingQueue.h"
#include "link/Socket.h"
#include "link/WakeSignal.h"
#include "platform/Log.h"

namespace corvello {

// Where a server-mode link listens and whom it serves.
struct LinkSettings {
    std::uint32_t listenAddress = net::kAnyAddress;  // IPv4, network byte order
    AddressRanges allowed;                            // empty: AddressRanges::localNetworks()
};

class RemoteLink : public RemoteNode {
public:
    enum class Channel { Main = 0, Metering = 1 };

    static constexpr int kReceiveChunkSize = 65536;
    static constexpr int kSendWaitMs = 50;
    static constexpr int kSendRetries = 10;
    static constexpr int kPreambleTimeoutMs = 2000;
    static constexpr std::size_t kMaxPendingRemotes = 16;
    static constexpr int kClientSendBufferSize = 1000000;

    explicit RemoteLink(bool serverMode, LinkSettings settings = {});
    ~RemoteLink() override;

    void addFilter(RemoteFilter* filter) override;
    void removeFilter(RemoteFilter* filter) override;
    RemoteQueue& outgoing() override { return outgoing_; }
    void sendMain(const MessageRecord& record) override;
    void queueMain(const MessageRecord& record) override;
    void flushMain() override;
    void sendMetering(const MessageRecord& record) override;
    void queueMetering(const MessageRecord& record) override;
    void flushMetering() override;
    void connectTo(const std::string& host, std::int32_t port) override;
    // 0 when the node does not listen.
    std::uint16_t listeningPort() override;
    bool isConnected() override;
    void setNoDelay() override;
    void clearNoDelay() override;

    // Packs the records into packets on the channel's socket and empties the list.
    void writeRecords(std::vector<MessageRecord>& records, Channel channel);
    // Sends one packet (its length is written into the first two bytes):
    // 0 on success, -1 when there is no socket or the retries run out.
    int dispatchBufferWithRetries(net::SocketHandle socket, std::uint8_t* packet, int length);
    void start();

    // The channel whose bytes are being parsed; meaningful inside a filter's receive.
    Channel receivingChannel() const { return receivingChannel_; }
    // False once a client-mode connection has failed and the link thread has ended.
    bool linkThreadRunning() const { return threadRunning; }
    std::int32_t meteringLocalPort() const { return meteringPort; }

private:
    using Clock = std::chrono::steady_clock;

    // An accepted connection whose metering port has not fully arrived.
    struct PendingRemote {
        net::SocketHandle socket = net::kNoSocket;
        net::PeerAddress peer;
        Clock::time_point deadline;
        std::array<std::uint8_t, 2> port{};
        std::size_t received = 0;
    };

    // The sockets of one wait, and which of them became readable.
    struct WaitSet {
        static constexpr std::size_t kCapacity = 4 + kMaxPendingRemotes;
        std::array<net::SocketHandle, kCapacity> sockets{};
        std::array<bool, kCapacity> ready{};
        std::size_t count = 0;

        void add(net::SocketHandle socket);
        bool isReady(net::SocketHandle socket) const;
    };

    struct ChannelState {
        std::mutex queueLock;
        std::vector<MessageRecord> queue;
        std::mutex sendLock;
    };

    void run();
    WaitSet socketsToWatch() const;
    int millisecondsToNextDeadline() const;
    bool exchangeMeteringPorts(net::SocketHandle link, net::PeerAddress peer);
    void aimMeteringAt(net::PeerAddress peer, std::uint16_t meteringPort);
    void parseStream(std::vector<std::uint8_t>& buffer);
    void offer(const MessageRecord& record);

    ChannelState& channelState(Channel channel);
    net::SocketHandle channelSocket(Channel channel) const;
    void queueOn(Channel channel, const MessageRecord& record);
    void flushChannel(Channel channel);
    void writeRecordsWhileSending(std::vector<MessageRecord>& records, Channel channel);

    bool clientTargetChanged();
    bool followClientTarget();
    void acceptRemote();
    bool admits(net::PeerAddress peer) const;
    void addPending(net::SocketHandle link, net::PeerAddress peer);
    void servePending(const WaitSet& waited);
    // Reads what the pending connection sent; true when it is finished with,
    // admitted or dropped.
    bool readPreamble(PendingRemote& pending);
    void dropPending(PendingRemote& pending);
    void admitRemote(const PendingRemote& pending);
    void installLink(net::SocketHandle link, net::PeerAddress peer);
    void closeLink();
    void endConnection();
    void readLink(std::vector<std::uint8_t>& chunk);
    void readMetering(std::vector<std::uint8_t>& chunk);
    void wakeLinkThread();

    FilterList<RemoteFilter, RemoteNode> filters{this};
    ChannelState main_;
    ChannelState metering_;

    net::SocketHandle listenSocket = net::kNoSocket;
    std::int32_t listenPort = -1;
    net::SocketHandle linkSocket = net::kNoSocket;  // written by the link thread under main_.sendLock
    net::SocketHandle meteringSocket = net::kNoSocket;
    std::int32_t meteringPort = -1;
    std::int32_t peerMeteringPort = -1;
    net::WakeSignal wake_;  // ends the link thread's wait, for a stop or a new client target
    const bool serverMode;
    const LinkSettings settings_;
    std::atomic<bool> noDelay_{true};

    std::atomic<bool> connected{false};
    std::atomic<bool> threadRunning{false};
    std::atomic<bool> stopRequested{false};
    std::thread linkThread;

    std::vector<std::uint8_t> linkBuffer;
    Channel receivingChannel_ = Channel::Main;
    net::PeerAddress linkPeer_;              // the connected remote; link thread only
    std::deque<PendingRemote> pending_;      // oldest first; link thread only

    log::RateLimitedLog refusedLog_;
    log::RateLimitedLog preambleLog_;
    log::RateLimitedLog meteringLog_;
    log::RateLimitedLog malformedLog_;

    std::mutex targetLock;  // connectTo runs on the caller's thread
    std::string currentHost, targetHost;
    std::int32_t currentPort = 0, targetPort = 0;

    OutgoingQueue outgoing_{this};  // stopped first on destruction, before any socket closes
};

}  // namespace corvello
