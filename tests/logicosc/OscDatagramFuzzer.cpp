// libFuzzer target for one OSC datagram from the network: through the check
// and the listener into OSC records, and the records through Logic OSC into
// records for the remote. What must hold:
// - the check and oscpack agree: a datagram the check passes is one oscpack
//   reads without objection (no "refused" line) and in finite time (a hang
//   is caught by libFuzzer's -timeout), and it gives exactly one record per
//   message whose first argument is a float or a string, in packet order,
//   under the message's address cut to the record's field; a datagram the
//   check refuses gives none;
// - every record and every record for the remote is well-formed: fields
//   terminated, texts within their fields, strip indexes within the eight
//   strips where the vocabulary checks them.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "logicosc/OscNodeListener.h"
#include "logicosc/HostProtocolLogicOSC.h"
#include "logicosc/OSCNode.h"
#include "logicosc/OscPacketCheck.h"
#include "platform/Log.h"

namespace corvello {
namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

class Recorder : public OSCFilter, public RecordSink {
public:
    int receive(OscRecord record) override
    {
        records.push_back(record);
        return 1;
    }
    void sendToRemote(MessageRecord record) override { forRemote.push_back(record); }

    std::vector<OscRecord> records;
    std::vector<MessageRecord> forRemote;
};

struct Expected {
    std::string address;
    bool isString;
};

std::vector<Expected> expectedRecords(std::span<const char> datagram, bool& wellFormed)
{
    std::vector<Expected> expected;
    wellFormed = !findOscPacketFault(datagram, [&](const CheckedOscMessage& m) {
        if (!m.typeTags.empty() && (m.typeTags[0] == 'f' || m.typeTags[0] == 's'))
            expected.push_back({std::string(m.address.substr(0, OscRecord::kFieldSize - 1)), m.typeTags[0] == 's'});
    });
    if (!wellFormed)
        expected.clear();
    return expected;
}

bool startsWithAny(std::string_view address, std::initializer_list<std::string_view> names)
{
    for (auto name : names)
        if (address.starts_with(name))
            return true;
    return false;
}

void requireWellFormed(const MessageRecord& r, std::string_view address)
{
    if (r.isNothing())
        return;
    require(r.text.size() < OscRecord::kFieldSize);
    // "tp", "sl", "sm" and "sd" read their strip and are checked: 0 to 7.
    if (startsWithAny(address, {"sl", "sm", "sd"}) || (address.starts_with("tp") && r.kind == 10))
        require(r.index >= 0 && r.index < HostProtocolLogicOSC::kStrips);
}

}  // namespace
}  // namespace corvello

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvello;
    static bool quiet = [] {
        log::setSink([](log::Level, std::string_view line) {
            // After the check, oscpack has nothing left to refuse.
            if (line.starts_with("OSC: the OSC library refused"))
                std::abort();
        });
        return true;
    }();
    static_cast<void>(quiet);

    const std::span<const char> datagram(reinterpret_cast<const char*>(data), size);
    bool wellFormed = false;
    const std::vector<Expected> expected = expectedRecords(datagram, wellFormed);

    Recorder recorder;
    OSCNode node;
    node.addFilter(&recorder);
    OscNodeListener listener(&node);
    if (size > 0)  // oscpack's loop never hands over an empty datagram
        listener.ProcessPacket(datagram.data(), static_cast<int>(size), IpEndpointName(0x7f000001, 9000));

    require(recorder.records.size() == expected.size());
    HostProtocolLogicOSC protocol([] { return std::uint32_t{0}; });
    protocol.translator = &recorder;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const OscRecord& record = recorder.records[i];
        require(record.address[OscRecord::kFieldSize - 1] == '\0' && record.text[OscRecord::kFieldSize - 1] == '\0');
        require(record.addressView() == expected[i].address);
        require(!expected[i].isString || record.value == 0.0f);
        requireWellFormed(protocol.fromHostOsc(record), record.addressView());
        for (const MessageRecord& sent : recorder.forRemote)
            requireWellFormed(sent, record.addressView());
        recorder.forRemote.clear();
    }
    return 0;
}
