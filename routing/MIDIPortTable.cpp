#include "routing/MIDIPortTable.h"

#include "platform/Log.h"
#include "virtmidi/virtmidiserver.h"

namespace corvello {

namespace {
void dispatchToTable(void* context, std::int32_t port, const std::uint8_t* bytes, std::int32_t length)
{
    static_cast<MIDIPortTable*>(context)->dispatch(port, bytes, length);
}
}  // namespace

MIDINode* MIDIPortTable::createNode(std::int32_t portCount)
{
    nodes_.push_back(std::make_unique<MIDINode>(portCount_, portCount));
    portCount_ += portCount;
    bounds_.push_back(portCount_);
    return nodes_.back().get();
}

void MIDIPortTable::dispatch(std::int32_t globalPort, const std::uint8_t* bytes, std::int32_t length)
{
    for (std::size_t i = 0; i < nodes_.size(); ++i)
        if (bounds_[i] <= globalPort && globalPort < bounds_[i + 1])
            nodes_[i]->receive(globalPort - bounds_[i], bytes, length);
}

bool MIDIPortTable::startServer()
{
    serverRunning_ = virtMidiServerStart(kPortNames, &dispatchToTable, this);
    log::info("Ok=%s", serverRunning_ ? "true" : "false");
    return serverRunning_;
}

}  // namespace corvello
