// The remote's records, as the link decodes them, into Logic OSC, wired as
// the program wires it (output node set, then activated). What must hold,
// besides the records for the remote (see FuzzToHost.h): every message for
// the DAW has an address the vocabulary can have (not empty, within its
// field, printable, none of OSC's pattern characters or the separator '/')
// and makes a well-formed OSC datagram; every float sent is a finite number.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "logicosc/HostProtocolLogicOSC.h"
#include "logicosc/OSCNode.h"
#include "logicosc/OscPacketCheck.h"
#include "osc/OscOutboundPacketStream.h"
#include "platform/Log.h"
#include "tests/fuzz/FuzzToHost.h"

namespace corvello {
namespace {

bool isVocabularyAddress(std::string_view address)
{
    if (address.empty() || address.size() >= OscRecord::kFieldSize)
        return false;
    for (char c : address)
        if (c <= ' ' || c >= 0x7F || std::string_view(" #*,/?[]{}").find(c) != std::string_view::npos)
            return false;
    return true;
}

// The node the protocol sends through: checks each message instead of sending
// it, and has no reception (so selecting the protocol opens no socket and
// advertises nothing; the protocol carries on as when the port is taken).
class CheckedOscNode : public OSCNode {
public:
    void sendFloat(const OscRecord& record) override
    {
        FUZZ_CHECK(std::isfinite(record.value));
        check(record, record.value);
    }
    bool sendString(const OscRecord& record) override
    {
        check(record, std::string(record.textView()).c_str());
        return true;
    }
    std::int32_t startReceiving(bool*) override { throw std::runtime_error("no reception while fuzzing"); }

private:
    template <typename Argument>
    static void check(const OscRecord& record, Argument argument)
    {
        FUZZ_CHECK(isVocabularyAddress(record.addressView()));
        char buffer[256];
        osc::OutboundPacketStream stream(buffer, sizeof buffer);
        const std::string address(record.addressView());
        stream << osc::BeginMessage(address.c_str()) << argument << osc::EndMessage;
        FUZZ_CHECK(!findOscPacketFault({stream.Data(), stream.Size()}));
    }
};

}  // namespace
}  // namespace corvello

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvello;
    static const bool quiet = [] {
        log::setSink([](log::Level, std::string_view) {});
        return true;
    }();
    static_cast<void>(quiet);

    CheckedOscNode node;
    fuzz::CheckedRemoteSink remote;
    // A clock that moves on with every reading, so the display's pacing varies.
    HostProtocolLogicOSC protocol([now = std::uint32_t{0}]() mutable { return now += 40; });
    protocol.translator = &remote;
    protocol.setOscOutput(&node);
    protocol.activate();
    fuzz::forEachLinkRecord(data, size, [&](const MessageRecord& record) { protocol.toHost(record); });
    return 0;
}
