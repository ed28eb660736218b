#pragma once
// The hub: joins the remote link to one host protocol and, through it, to the
// DAW. Records from the remote go to the protocol; what the protocol makes of
// the DAW's MIDI or OSC goes back to the remote through the outgoing queue.

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

class Translator : public RemoteFilter, public MIDIFilter, public OSCFilter, public RecordSink {
public:
    explicit Translator(std::unique_ptr<DesktopCommands> desktop = nullptr);
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
    // Records for the remote, through the link node's queue; dropped while no
    // protocol exists or the Translator is on no link node.
    void sendToRemote(MessageRecord record) override;

    // Installs the panner protocol for good (routing set-up).
    void installPanner();
    void setDesktop(std::unique_ptr<DesktopCommands> controller);
    std::int32_t protocolState() const;

private:
    int handleHostSelection(const MessageRecord& record);
    int answerVersionQuery(const MessageRecord& record);
    void replaceProtocol(ProtocolState wanted);
    RemoteQueue* queueToRemote();
    int passToProtocol(const MessageRecord& record);

    // One lock around every use of `protocol`, so that a switch
    // made on the link thread never frees a protocol the MIDI or OSC thread is
    // using. Recursive because protocols call sendToRemote from inside calls
    // the Translator makes under the lock.
    mutable std::recursive_mutex mutex_;
    std::unique_ptr<HostProtocol> protocol_;
    std::int32_t protocolState_ = kNoProtocol;
    std::unique_ptr<DesktopCommands> desktop_;
};

}  // namespace corvello
