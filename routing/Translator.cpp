#include "routing/Translator.h"

#include <cmath>
#include <new>

#include "core/RemoteNode.h"
#include "hostprotocols/HostProtocol.h"
#include "routing/HostProtocolFactory.h"
#include "routing/OscService.h"
#include "routing/VersionCode.h"

namespace corvello {

Translator::Translator(std::unique_ptr<DesktopCommands> desktop) : desktop_(std::move(desktop)) {}

Translator::~Translator() = default;

int Translator::receive(const MessageRecord& record)
{
    if (record.kind == kDesktopKind && desktop_ && protocolState() != kPannerProtocol) {
        desktop_->receive(record);
        return 1;
    }
    if (record.kind == kVersionQueryKind)
        return protocolState() == kPannerProtocol ? 0 : answerVersionQuery(record);
    if (record.kind == kHostSelectionKind) {
        if (protocolState() == kPannerProtocol)
            return 0;
        return handleHostSelection(record);
    }
    return passToProtocol(record);
}

int Translator::answerVersionQuery(const MessageRecord& record)
{
    const std::int32_t own = ownVersionCode();
    sendToRemote(MessageRecord::number(kVersionReplyKind, own, versionsCompatible(own, record.index) ? 1.0f : 0.0f));
    return 1;
}

int Translator::handleHostSelection(const MessageRecord& record)
{
    if (!(record.value > 0.0f))  // NaN counts as not positive
        withdrawOscServices();

    RemoteQueue* queue = nullptr;
    {
        std::lock_guard lock(mutex_);
        replaceProtocol(protocolForSelector(record.index));
        queue = queueToRemote();
    }
    if (desktop_)
        desktop_->setHost(record.index, queue);
    return passToProtocol(record);
}

void Translator::replaceProtocol(ProtocolState wanted)
{
    if (protocolState_ == wanted)
        return;
    protocol_.reset();
    protocolState_ = kNoProtocol;
    if (wanted == kNoProtocol)
        return;

    try {
        protocol_ = createHostProtocol(wanted);
    } catch (const std::bad_alloc&) {
        return;  // stays without a protocol
    }
    protocol_->translator = this;
    attachHostProtocol(*protocol_, wanted, MIDIFilter::node);
    protocolState_ = wanted;
}

int Translator::passToProtocol(const MessageRecord& record)
{
    std::lock_guard lock(mutex_);
    return protocol_ ? protocol_->toHost(record) : 0;
}

bool Translator::peerConnected(std::uint32_t, std::uint32_t) { return false; }

void Translator::peerDisconnected(std::intptr_t, std::int32_t) { withdrawOscServices(); }

int Translator::receive(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length)
{
    std::lock_guard lock(mutex_);
    RemoteQueue* queue = queueToRemote();
    if (protocol_ && queue)
        queue->send(protocol_->fromHostMidi(bytes, length, localPort));
    return 1;
}

int Translator::receive(OscRecord record)
{
    std::lock_guard lock(mutex_);
    RemoteQueue* queue = queueToRemote();
    if (protocol_ && queue)
        queue->send(protocol_->fromHostOsc(record));
    return 1;
}

void Translator::sendToRemote(MessageRecord record)
{
    std::lock_guard lock(mutex_);
    RemoteQueue* queue = queueToRemote();
    if (protocol_ && queue)
        queue->send(record);
}

RemoteQueue* Translator::queueToRemote()
{
    return RemoteFilter::node ? &RemoteFilter::node->outgoing() : nullptr;
}

void Translator::installPanner()
{
    std::lock_guard lock(mutex_);
    if (protocolState_ == kPannerProtocol)
        return;
    protocol_.reset();
    protocolState_ = kNoProtocol;
    protocol_ = createHostProtocol(kPannerProtocol);  // its translator stays unset
    attachHostProtocol(*protocol_, kPannerProtocol, MIDIFilter::node);
    protocolState_ = kPannerProtocol;
}

void Translator::setDesktop(std::unique_ptr<DesktopCommands> controller) { desktop_ = std::move(controller); }

std::int32_t Translator::protocolState() const
{
    std::lock_guard lock(mutex_);
    return protocolState_;
}

}  // namespace corvello
