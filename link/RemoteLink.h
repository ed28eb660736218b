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
// - A malformed TCP stream (packet length below 2, an item past its packet)
//   closes the connection with one stderr line, as an orderly close does
//   (filters hear peerDisconnected). On the metering channel the received
//   bytes are dropped with one stderr line and the link stays up.
// - The 2-byte metering-port preamble is read in full within kPreambleTimeoutMs.
//   It runs before the current remote is replaced, so a connection that never
//   completes it is closed and the current remote keeps the link.
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

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/RemoteNode.h"
#include "link/OutgoingQueue.h"
#include "link/Socket.h"

namespace corvello {

class RemoteLink : public RemoteNode {
public:
    enum class Channel { Main = 0, Metering = 1 };

    static constexpr int kReceiveChunkSize = 65536;
    static constexpr int kLoopWaitMs = 1000;
    static constexpr int kSendWaitMs = 50;
    static constexpr int kSendRetries = 10;
    static constexpr int kPreambleTimeoutMs = 2000;
    static constexpr int kClientSendBufferSize = 1000000;

    explicit RemoteLink(bool serverMode);
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
    struct ChannelState {
        std::mutex queueLock;
        std::vector<MessageRecord> queue;
        std::mutex sendLock;
    };

    void run();
    bool exchangeMeteringPorts(net::SocketHandle link, net::PeerAddress peer);
    void parseStream(std::vector<std::uint8_t>& buffer, Channel channel);

    ChannelState& channelState(Channel channel);
    net::SocketHandle channelSocket(Channel channel) const;
    void queueOn(Channel channel, const MessageRecord& record);
    void flushChannel(Channel channel);
    void writeRecordsWhileSending(std::vector<MessageRecord>& records, Channel channel);

    bool clientTargetChanged();
    bool followClientTarget();
    void acceptRemote();
    void installLink(net::SocketHandle link);
    void closeLink();
    void endConnection();
    void readLink(std::vector<std::uint8_t>& chunk);
    void readMetering(std::vector<std::uint8_t>& chunk);
    void wakeLinkThread();
    void drainWakeSocket();

    FilterList<RemoteFilter, RemoteNode> filters{this};
    ChannelState main_;
    ChannelState metering_;

    net::SocketHandle listenSocket = net::kNoSocket;
    std::int32_t listenPort = -1;
    net::SocketHandle linkSocket = net::kNoSocket;  // written by the link thread under main_.sendLock
    net::SocketHandle meteringSocket = net::kNoSocket;
    std::int32_t meteringPort = -1;
    std::int32_t peerMeteringPort = -1;
    net::SocketHandle wakeSocket = net::kNoSocket;  // a loopback datagram here ends the link thread's wait
    const bool serverMode;

    std::atomic<bool> connected{false};
    std::atomic<bool> threadRunning{false};
    std::atomic<bool> stopRequested{false};
    std::thread linkThread;

    std::vector<std::uint8_t> linkBuffer;
    std::vector<std::uint8_t> meteringBuffer;
    Channel receivingChannel_ = Channel::Main;

    std::mutex targetLock;  // connectTo runs on the caller's thread
    std::string currentHost, targetHost;
    std::int32_t currentPort = 0, targetPort = 0;

    OutgoingQueue outgoing_{this};  // stopped first on destruction, before any socket closes
};

// The process-wide node, never destroyed. The first call creates it in server
// mode and sets no-delay; the result is its TCP listening port.
std::uint16_t remoteLinkListeningPort();
// The process-wide node; if nothing created it yet, it is created without a
// listening socket (not in server mode), then no-delay is set.
RemoteNode& remoteLinkNode();

}  // namespace corvello
