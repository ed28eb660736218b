// libFuzzer target for one metering datagram, read on its own as the node
// reads it. Whatever the bytes, every record is one the wire can carry and
// fits in the datagram; a datagram taken as whole must be packets back to
// back; and reading the same bytes as a stream must agree: a whole datagram
// leaves nothing behind and gives the same records.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/WireFormat.h"
#include "tests/link/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace wire = corvello::wire;
    using corvello::MessageRecord;

    // An exactly sized copy lets the sanitizers catch a read past the datagram.
    const std::vector<std::uint8_t> datagram(data, data + size);
    std::vector<MessageRecord> records;
    const auto result = wire::parseDatagram(datagram, [&](const MessageRecord& r) {
        LINK_FUZZ_CHECK(r.kind <= wire::kKindMask);
        LINK_FUZZ_CHECK(r.text.size() + wire::kPacketHeaderSize + wire::kTextItemHeaderSize <= size);
        records.push_back(r);
    });
    LINK_FUZZ_CHECK(records.size() * wire::kTextItemHeaderSize <= size);

    std::vector<std::uint8_t> stream = datagram;
    std::vector<MessageRecord> asStream;
    const auto streamResult = wire::parseStream(stream, [&](const MessageRecord& r) { asStream.push_back(r); });
    if (result == wire::ParseResult::Complete) {
        LINK_FUZZ_CHECK(streamResult == wire::ParseResult::Complete);
        LINK_FUZZ_CHECK(stream.empty());
        LINK_FUZZ_CHECK(corvello::fuzz::sameRecords(asStream, records));
    } else {
        // Malformed as a datagram: a fault, or a tail the stream would wait on.
        LINK_FUZZ_CHECK(streamResult == wire::ParseResult::Malformed || !stream.empty());
    }
    return 0;
}
