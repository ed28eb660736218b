#pragma once
// An OSC-over-UDP endpoint: received messages whose first argument is a float
// or a string become OSC records offered to the filters; records sent through
// the node go out as one-argument OSC messages to its peer.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "link/DnsSd.h"
#include "logicosc/OscNodeListener.h"
#include "platform/Log.h"
#include "core/FilterList.h"
#include "core/OSCFilter.h"
#include "core/OscRecord.h"

class UdpSocket;
class UdpListeningReceiveSocket;

namespace corvello {

class OSCNode {
public:
    using Clock = std::chrono::steady_clock;
    // How long the sender the node answers may stay silent before another
    // source may take its place (see followSender).
    static constexpr Clock::duration kPeerSilenceLimit = std::chrono::seconds(30);

    OSCNode();
    // Detaches the filters, stops the receive thread (waiting for it however
    // long it takes), then closes the sockets. Filters are never destroyed here.
    virtual ~OSCNode();
    OSCNode(const OSCNode&) = delete;
    OSCNode& operator=(const OSCNode&) = delete;

    virtual void addFilter(OSCFilter* filter);
    // Both send nothing while no peer is set; send errors are ignored.
    virtual void sendFloat(const OscRecord& record);
    virtual bool sendString(const OscRecord& record);
    // A null or empty host forgets the peer. Otherwise the host's first IPv4
    // address (0 when the lookup fails) and `port` become the peer. Throws
    // std::runtime_error("unable to create udp socket\n").
    virtual void setPeer(const char* host, std::int32_t port);
    // Starts reception on a system-chosen UDP port and returns it; while
    // reception runs, later calls return the same port. Once reception has
    // ended for good (see below), the next call starts it again, on the same
    // port when that is still free. `startedNow` tells whether this call
    // started it. Throws std::runtime_error with "unable to create udp
    // socket\n", "unable to bind udp socket\n" or "unable to get port\n".
    //
    // The receive loop survives what it meets: a datagram oscpack would
    // choke on is refused before it gets there, and when the loop ends with
    // an error (a filter that throws, a failed wait) it is started again on
    // the same socket, each time with a rate-limited warning. Only when that
    // happens more than a few times a second is the port reported as "no
    // longer served" and reception ended.
    virtual std::int32_t startReceiving(bool* startedNow = nullptr);
    // Offers the record to the filters in attach order until one claims it.
    virtual void receive(OscRecord record);

    // While set, the node answers, through the receive socket, the first host
    // that sends it a well-formed datagram, at the port its latest datagram
    // came from: the DAW hears back from the port it talks to, also after a
    // restart that changed its port. Datagrams from any other address are
    // ignored (one rate-limited line) until that host has been silent for
    // `silenceLimit`; the next host to speak then takes its place. Each call
    // forgets the host answered so far, and so does setPeer.
    void followSender(bool follow, Clock::duration silenceLimit = kPeerSilenceLimit);
    // Called by the listener with each well-formed datagram's source (IPv4,
    // host order); false when the datagram is to be ignored.
    bool admitSender(std::uint32_t address, std::uint16_t port);

    bool isReceiving() const { return receiving_; }

    // Ends reception, waiting for the receive thread until `deadline`. False
    // when the thread has not ended by then: it is left running, and the node
    // must outlive it.
    bool stopReceiving(Clock::time_point deadline);

    // A DNS-SD registration tied to this node; its owner releases it with
    // dnssd().refDeallocate and sets it back to null.
    DNSServiceRef serviceRef = nullptr;

private:
    struct Peer {
        std::uint32_t address = 0;  // host byte order
        std::uint16_t port = 0;
    };

    // False when no peer is set.
    bool sendDatagram(const char* bytes, std::size_t size);
    void replacePeer(std::unique_ptr<UdpSocket> socket, std::unique_ptr<Peer> peer);
    void answerThroughReceiveSocket(Peer peer);  // with peerMutex_ held
    std::unique_ptr<UdpListeningReceiveSocket> bindReceiveSocket(std::int32_t preferredPort, std::int32_t& port);
    void runReceiveLoop(UdpListeningReceiveSocket& socket, std::int32_t port);
    void closeEndedReception();

    FilterList<OSCFilter, OSCNode> filters_{this};
    OscNodeListener listener_{this};

    // Guards starting and stopping reception; the receive thread only runs
    // the socket it is given and clears `receiving_` when it ends.
    std::mutex receptionMutex_;
    std::unique_ptr<UdpListeningReceiveSocket> receiveSocket_;
    std::int32_t receivePort_ = 0;
    std::thread receiveThread_;
    std::atomic<bool> receiving_{false};
    std::atomic<bool> stopRequested_{false};
    log::RateLimitedLog receiveFailures_;

    // Guards the peer, its socket and the answered sender: the browser or
    // receive thread may aim the node while another thread sends through
    // it. Without a send socket a peer is answered through the receive socket.
    std::mutex peerMutex_;
    std::unique_ptr<UdpSocket> sendSocket_;
    std::unique_ptr<Peer> peer_;
    std::atomic<bool> followSender_{false};
    bool senderPinned_ = false;
    Clock::time_point senderLastHeard_{};
    Clock::duration silenceLimit_ = kPeerSilenceLimit;
    log::RateLimitedLog ignoredSenders_;
};

// The process-wide nodes: the first is the Logic OSC output, the second takes
// its peer from DNS-SD browsing. Created on first use.
OSCNode& logicOscNode();
OSCNode& browsedOscNode();
// Shutdown: stops and destroys the first node, then the second. A node whose
// receive thread does not end within a second is left to the process's end
// (said on the log) instead of blocking the exit. A later
// logicOscNode()/browsedOscNode() creates a new node.
void destroyOscNodes();

}  // namespace corvello
