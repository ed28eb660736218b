// libFuzzer target for the link's stream parser: the input arrives in pieces
// of sizes taken from the input itself, as TCP may deliver it, and a malformed
// stream is dropped the way the node drops it. After every piece it checks
// that the parser took whole packets only and kept exactly the unread rest,
// that what it kept is a packet still arriving, that every record is one the
// wire can carry, and that the same packets read as one datagram give the
// same records.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/WireFormat.h"
#include "tests/link/FuzzCheck.h"

namespace {

using corvello::MessageRecord;
namespace wire = corvello::wire;

std::size_t packetLength(const std::uint8_t* at) { return static_cast<std::size_t>(at[0] | at[1] << 8); }

// The bytes from `from` to `to` of `fed` are packets back to back.
bool wholePackets(const std::vector<std::uint8_t>& fed, std::size_t from, std::size_t to)
{
    while (from < to) {
        if (to - from < wire::kPacketHeaderSize)
            return false;
        const std::size_t length = packetLength(fed.data() + from);
        if (length < wire::kPacketHeaderSize || length > to - from || length > 0x7FFF)
            return false;
        from += length;
    }
    return from == to;
}

void checkRecord(const MessageRecord& record, std::size_t bytesSeen)
{
    LINK_FUZZ_CHECK(record.kind <= wire::kKindMask);
    LINK_FUZZ_CHECK(record.text.size() + wire::kPacketHeaderSize + wire::kTextItemHeaderSize <= bytesSeen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = data[0] % 64 + 1;
    std::vector<std::uint8_t> fed;     // every byte since the stream was last dropped
    std::vector<std::uint8_t> stream;  // what the parser keeps
    std::size_t consumed = 0;          // of `fed`, taken as packets
    for (std::size_t at = 1; at < size; at += piece) {
        const std::size_t end = std::min(at + piece, size);
        fed.insert(fed.end(), data + at, data + end);
        stream.insert(stream.end(), data + at, data + end);
        std::vector<MessageRecord> records;
        const auto result = wire::parseStream(stream, [&](const MessageRecord& r) {
            checkRecord(r, fed.size() - consumed);
            records.push_back(r);
        });

        LINK_FUZZ_CHECK(stream.size() <= fed.size() - consumed);
        LINK_FUZZ_CHECK(std::equal(stream.begin(), stream.end(), fed.end() - static_cast<std::ptrdiff_t>(stream.size())));
        const std::size_t taken = fed.size() - stream.size();
        LINK_FUZZ_CHECK(wholePackets(fed, consumed, taken));
        LINK_FUZZ_CHECK(records.size() * wire::kTextItemHeaderSize <= fed.size() - consumed);
        if (result == wire::ParseResult::Complete) {
            LINK_FUZZ_CHECK(stream.size() < wire::kPacketHeaderSize || packetLength(stream.data()) > stream.size());
            std::vector<MessageRecord> again;
            const auto packets = std::span(fed).subspan(consumed, taken - consumed);
            LINK_FUZZ_CHECK(wire::parseDatagram(packets, [&](const MessageRecord& r) { again.push_back(r); }) ==
                            wire::ParseResult::Complete);
            LINK_FUZZ_CHECK(corvello::fuzz::sameRecords(again, records));
            consumed = taken;
        } else {
            stream.clear();
            fed.clear();
            consumed = 0;
        }
    }
    return 0;
}
