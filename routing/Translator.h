#pragma once
// The hub: joins the remote link to one host protocol and, through it, to the
// DAW. Records from the remote go to the protocol; what the protocol makes of
// the DAW's MIDI or OSC goes back to the remote through the outgoing queue.
//
// Two routes, fixed at construction. The panner route drives the "Swivo"
// ports with the panner protocol for good and leaves the remote's handshake,
// host selection and desktop commands unclaimed, for the host route behind
// it. The host route answers those, hands desktop commands to its desktop
// worker, and drives "Tamberlin" and the OSC nodes with the protocol the
// remote selects.

#include <cstdint>
#include <memory>
#include <mutex>

#include "core/DesktopCommands.h"
#include "core/HostSelection.h"
#include "core/MIDIFilter.h"
#include "core/OSCFilter.h"
#include "core/RecordSink.h"
#include "core/RemoteFilter.h"
#include "core/RemoteQueue.h"

namespace corvello {

class HostProtocol;

class Translator : public RemoteFilter, public MIDIFilter, public OSCFilter {
public:
    enum class Route { panner, host };

    // On the host route a desktop controller runs on a worker of its own.
    explicit Translator(Route route, std::unique_ptr<DesktopCommands> desktop = nullptr);
    ~Translator() override;
    Translator(const Translator&) = delete;
    Translator& operator=(const Translator&) = delete;

    // From the remote link.
    int receive(const MessageRecord& record) override;
    bool peerConnected(std::uint32_t address, std::uint32_t portWord) override;
    void peerDisconnected(std::intptr_t listenSocket, std::int32_t listenPort) override;
    // From the DAW: always claimed.
    int receive(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length) override;
    int receive(OscRecord record) override;

    // The panner route's protocol, installed once its MIDI node is attached.
    void installPanner();
    std::int32_t protocolState() const;
    Route route() const { return route_; }

    // At exit, before what the protocols and the desktop controller use goes
    // away: drops the protocol, and the desktop worker once the command in
    // hand is done. Every later call is claimed and ignored, so the link, MIDI
    // and OSC threads may go on delivering until the process ends.
    void close();

private:
    // What the protocols see of the Translator: records for the remote go
    // straight to the queue, without the Translator's lock, which the protocol's
    // caller already holds.
    class QueueSink final : public RecordSink {
    public:
        explicit QueueSink(Translator& owner) : owner_(owner) {}
        void sendToRemote(MessageRecord record) override;

    private:
        Translator& owner_;
    };

    int handleHostSelection(const MessageRecord& record);
    int answerVersionQuery(const MessageRecord& record);
    int passDesktopCommand(const MessageRecord& record);
    void replaceProtocol(ProtocolState wanted);
    // The link node's queue; null while the Translator is on no link node.
    RemoteQueue* queueToRemote() const;
    int passToProtocol(const MessageRecord& record);

    const Route route_;
    // One lock around every use of the protocol and the desktop worker, so
    // that a switch made on the link thread never frees a protocol the MIDI or
    // OSC thread is using, and close() waits for every caller.
    mutable std::mutex mutex_;
    bool closed_ = false;
    std::unique_ptr<HostProtocol> protocol_;
    QueueSink sink_{*this};
    std::int32_t protocolState_ = kNoProtocol;
    std::unique_ptr<DesktopCommands> desktop_;
};

}  // namespace corvello
