#include "core/MIDINode.h"

#include "virtmidi/virtmidiserver.h"

namespace corvello {

void MIDINode::send(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length)
{
    if (localPort < 0 || localPort >= portCount)
        return;
    virtMidiServerSend(firstPort + localPort, bytes, length);
}

void MIDINode::receive(std::int32_t localPort, const std::uint8_t* bytes, std::int32_t length)
{
    filters.offerUntilClaimed([&](MIDIFilter& f) { return f.receive(localPort, bytes, length) != 0; });
}

}  // namespace corvello
