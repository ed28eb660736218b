#include "routing/Translator.h"

#include <cmath>
#include <new>

#include "core/RemoteNode.h"
#include "core/RemoteNode.h"
#include "hostprotocols/HostProtocol.h"
#include "routing/DesktopWorker.h"
#include "routing/HostProtocolFactory.h"
#include "routing/OscService.h"
#include "routing/VersionCode.h"

namespace corvello {

Translator::Translator(Route route, std::unique_ptr<DesktopCommands> desktop) : route_(route)
{
    if (desktop && route == Route::host)
        desktop_ = std::make_unique<DesktopWorker>(std::move(desktop));
}

Translator::~Translator() = default;

int Translator::receive(const MessageRecord& record)
{
    const bool hostRecord = record.kind == kVersionQueryKind || record.kind == kHostSelectionKind;
    if (route_ == Route::panner)
        return hostRecord ? 0 : passToProtocol(record);
    if (record.kind == kDesktopKind)
        return passDesktopCommand(record);
    if (record.kind == kVersionQueryKind)
        return answerVersionQuery(record);
    if (record.kind == kHostSelectionKind)
        return handleHostSelection(record);
    return passToProtocol(record);
}

int Translator::passDesktopCommand(const MessageRecord& record)
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return 1;
        if (desktop_) {
            desktop_->receive(record);  // queued for the worker
            return 1;
        }
    }
    return passToProtocol(record);
}

int Translator::answerVersionQuery(const MessageRecord& record)
{
    std::lock_guard lock(mutex_);
    RemoteQueue* queue = queueToRemote();
    if (protocol_ && queue) {
        const std::int32_t own = ownVersionCode();
        queue->send(MessageRecord::number(kVersionReplyKind, own, versionsCompatible(own, record.index) ? 1.0f : 0.0f));
    }
    return 1;
}

int Translator::handleHostSelection(const MessageRecord& record)
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return 1;
        if (!(record.value > 0.0f))  // NaN counts as not positive
            withdrawOscServices();
        RemoteQueue* queue = queueToRemote();
        replaceProtocol(protocolForSelector(record.index));
        if (desktop_)
            desktop_->setHost(record.index, queue);
    }
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
    protocol_->translator = &sink_;
    attachHostProtocol(*protocol_, wanted, MIDIFilter::node);
    protocolState_ = wanted;
}

int Translator::passToProtocol(const MessageRecord& record)
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return 1;
    return protocol_ ? protocol_->toHost(record) : 0;
}

bool Translator::peerConnected(std::uint32_t, std::uint32_t) { return false; }

void Translator::peerDisconnected(std::intptr_t, std::int32_t)
{
    std::lock_guard lock(mutex_);
    if (!closed_)
        withdrawOscServices();
}

int Translator::receive(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length)
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return 1;
    RemoteQueue* queue = queueToRemote();
    if (protocol_ && queue)
        queue->send(protocol_->fromHostMidi(bytes, length, localPort));
    return 1;
}

int Translator::receive(OscRecord record)
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return 1;
    RemoteQueue* queue = queueToRemote();
    if (protocol_ && queue)
        queue->send(protocol_->fromHostOsc(record));
    return 1;
}

void Translator::QueueSink::sendToRemote(MessageRecord record)
{
    if (RemoteQueue* queue = owner_.queueToRemote())
        queue->send(record);
}

// The node is set when the Translator is attached, before any traffic.
RemoteQueue* Translator::queueToRemote() const { return RemoteFilter::node ? &RemoteFilter::node->outgoing() : nullptr; }

void Translator::installPanner()
{
    std::lock_guard lock(mutex_);
    if (route_ != Route::panner || closed_ || protocolState_ == kPannerProtocol)
        return;
    protocol_ = createHostProtocol(kPannerProtocol);  // it sends nothing beyond what it returns
    attachHostProtocol(*protocol_, kPannerProtocol, MIDIFilter::node);
    protocolState_ = kPannerProtocol;
}

std::int32_t Translator::protocolState() const
{
    std::lock_guard lock(mutex_);
    return protocolState_;
}

void Translator::close()
{
    std::unique_ptr<DesktopCommands> desktop;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        protocol_.reset();
        protocolState_ = kNoProtocol;
        desktop = std::move(desktop_);
    }
    // Joined outside the lock: the command in hand answers through the
    // queue, which stays.
    desktop.reset();
}

}  // namespace corvello
