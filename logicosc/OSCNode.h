#pragma once
// An OSC-over-UDP endpoint: received messages whose first argument is a float
// or a string become OSC records offered to the filters; records sent through
// the node go out as one-argument OSC messages to its peer.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "core/FilterList.h"
#include "core/OSCFilter.h"
#include "core/OscRecord.h"
#include "link/DnsSd.h"
#include "logicosc/OscNodeListener.h"

class UdpSocket;
class UdpListeningReceiveSocket;

namespace corvello {

class OSCNode {
public:
    OSCNode();
    // Detaches the filters, stops the receive thread (waiting for it), then
    // closes the sockets. Filters are never destroyed here.
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
    // Starts reception on a system-chosen UDP port and returns it; later calls
    // return the same port. Throws std::runtime_error with "unable to create
    // udp socket\n", "unable to bind udp socket\n" or "unable to get port\n".
    virtual std::int32_t startReceiving();
    // Offers the record to the filters in attach order until one claims it.
    virtual void receive(OscRecord record);

    // While set, the source of every well-formed datagram received becomes
    // the peer, answered through the receive socket: whoever talks to the
    // node hears back from the port it talks to. A later setPeer overrides
    // that until the next datagram.
    void followSender(bool follow) { followSender_ = follow; }
    // Called by the listener for each datagram's source (IPv4, host order).
    void noteSender(std::uint32_t address, std::uint16_t port);

    bool isReceiving() const { return receiving_; }

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
    void runReceiveLoop();
    void stopReceiving();

    FilterList<OSCFilter, OSCNode> filters_{this};
    OscNodeListener listener_{this};

    std::unique_ptr<UdpListeningReceiveSocket> receiveSocket_;
    std::int32_t receivePort_ = 0;
    std::thread receiveThread_;
    std::atomic<bool> receiving_{false};
    std::atomic<bool> followSender_{false};

    // Guards the peer and its socket: the browser or receive thread may aim
    // the node while another thread sends through it. Without a send socket
    // a peer is answered through the receive socket.
    std::mutex peerMutex_;
    std::unique_ptr<UdpSocket> sendSocket_;
    std::unique_ptr<Peer> peer_;
};

// The process-wide nodes: the first is the Logic OSC output, the second takes
// its peer from DNS-SD browsing. Created on first use.
OSCNode& logicOscNode();
OSCNode& browsedOscNode();
// Shutdown: destroys the first node, then the second (each stops its receive
// thread first). A later logicOscNode()/browsedOscNode() creates a new node.
void destroyOscNodes();

}  // namespace corvello
