#include "link/WireFormat.h"

#include <array>
#include <bit>

#include "platform/Log.h"

namespace corvello::wire {

namespace {

void putWord(std::uint8_t* at, std::uint16_t word)
{
    at[0] = static_cast<std::uint8_t>(word);
    at[1] = static_cast<std::uint8_t>(word >> 8);
}

std::uint16_t getWord(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

void putFloat(std::uint8_t* at, float value)
{
    auto bits = std::bit_cast<std::uint32_t>(value);
    putWord(at, static_cast<std::uint16_t>(bits));
    putWord(at + 2, static_cast<std::uint16_t>(bits >> 16));
}

float getFloat(const std::uint8_t* at)
{
    return std::bit_cast<float>(static_cast<std::uint32_t>(getWord(at)) | static_cast<std::uint32_t>(getWord(at + 2)) << 16);
}

std::size_t roundUpToEven(std::size_t n) { return (n + 1) & ~std::size_t{1}; }

void reportRefusal(const MessageRecord& record, Admission why)
{
    if (why == Admission::KindTooWide)
        log::error("link: refusing record of kind %u (index %d): only 12 bits of kind travel",
                     record.kind, record.index);
    else
        log::error("link: refusing record of kind %u (index %d): %zu bytes of text exceed the %zu that fit in a packet",
                     record.kind, record.index, record.text.size(), kMaxTextLength);
}

// Writes the record's item at `at`; the caller has checked that it fits.
void encodeItem(const MessageRecord& record, std::uint8_t* at)
{
    auto index = static_cast<std::uint16_t>(record.index);
    if (record.text.empty()) {
        putWord(at, record.kind);
        putWord(at + 2, index);
        putFloat(at + 4, record.value);
        return;
    }
    putWord(at, record.kind | kTextItemFlag);
    putWord(at + 2, index);
    putWord(at + 4, static_cast<std::uint16_t>(record.text.size()));
    std::copy(record.text.begin(), record.text.end(), at + kTextItemHeaderSize);
    if (record.text.size() % 2 != 0)
        at[kTextItemHeaderSize + record.text.size()] = 0;
}

class PacketBuilder {
public:
    explicit PacketBuilder(const PacketSink& sink) : sink_(sink) {}

    void append(const MessageRecord& record)
    {
        std::size_t size = itemSize(record);
        if (length_ + size > kPacketCapacity)
            finish();
        encodeItem(record, packet_.data() + length_);
        length_ += size;
    }

    void finish()
    {
        if (length_ <= kPacketHeaderSize)
            return;
        putWord(packet_.data(), static_cast<std::uint16_t>(length_));
        sink_(std::span<const std::uint8_t>(packet_.data(), length_));
        length_ = kPacketHeaderSize;
    }

private:
    const PacketSink& sink_;
    std::array<std::uint8_t, kPacketCapacity> packet_{};
    std::size_t length_ = kPacketHeaderSize;
};

// Decodes the item at `offset` of a packet ending at `end`. Returns the next
// item's offset, or 0 when the item runs past the packet.
std::size_t decodeItem(const std::uint8_t* packet, std::size_t offset, std::size_t end, MessageRecord& record)
{
    if (offset + kTextItemHeaderSize > end)
        return 0;
    const std::uint8_t* at = packet + offset;
    std::uint16_t first = getWord(at);
    record = {};
    record.kind = first & kKindMask;
    record.index = static_cast<std::int16_t>(getWord(at + 2));
    if ((first & kTextItemFlag) == 0) {
        if (offset + kNumberItemSize > end)
            return 0;
        record.value = getFloat(at + 4);
        return offset + kNumberItemSize;
    }
    std::size_t length = getWord(at + 4);
    if (offset + kTextItemHeaderSize + length > end)
        return 0;
    record.text.assign(reinterpret_cast<const char*>(at + kTextItemHeaderSize), length);
    return offset + kTextItemHeaderSize + roundUpToEven(length);
}

// Delivers every item of one complete packet; false when an item is malformed.
bool parsePacket(const std::uint8_t* packet, std::size_t length, const std::function<void(const MessageRecord&)>& deliver)
{
    std::size_t itemsEnd = length & ~std::size_t{1};
    MessageRecord record;
    for (std::size_t offset = kPacketHeaderSize; offset < itemsEnd;) {
        offset = decodeItem(packet, offset, length, record);
        if (offset == 0)
            return false;
        deliver(record);
    }
    return true;
}

// How many bytes of `bytes` are whole, well-formed packets, delivering
// their records; `result` tells whether it stopped at a fault.
std::size_t parsePackets(std::span<const std::uint8_t> bytes, const std::function<void(const MessageRecord&)>& deliver,
                         ParseResult& result)
{
    std::size_t consumed = 0;
    result = ParseResult::Complete;
    while (bytes.size() - consumed >= kPacketHeaderSize) {
        const std::uint8_t* packet = bytes.data() + consumed;
        auto length = static_cast<std::int16_t>(getWord(packet));
        if (length < static_cast<std::int16_t>(kPacketHeaderSize)) {
            result = ParseResult::Malformed;
            break;
        }
        if (bytes.size() - consumed < static_cast<std::size_t>(length))
            break;
        if (!parsePacket(packet, static_cast<std::size_t>(length), deliver)) {
            result = ParseResult::Malformed;
            break;
        }
        consumed += static_cast<std::size_t>(length);
    }
    return consumed;
}

}  // namespace

std::size_t itemSize(const MessageRecord& record)
{
    return record.text.empty() ? kNumberItemSize : kTextItemHeaderSize + roundUpToEven(record.text.size());
}

Admission admit(const MessageRecord& record)
{
    if (record.kind == 0 || record.kind == kNothingKind)
        return Admission::SkipSilently;
    if (record.kind > kKindMask)
        return Admission::KindTooWide;
    if (record.text.size() > kMaxTextLength)
        return Admission::TextTooLong;
    return Admission::Encode;
}

void writeRecords(std::span<const MessageRecord> records, const PacketSink& sink)
{
    PacketBuilder builder(sink);
    for (const MessageRecord& record : records) {
        Admission admission = admit(record);
        if (admission == Admission::Encode)
            builder.append(record);
        else if (admission != Admission::SkipSilently)
            reportRefusal(record, admission);
    }
    builder.finish();
}

ParseResult parseStream(std::vector<std::uint8_t>& stream, const std::function<void(const MessageRecord&)>& deliver)
{
    ParseResult result;
    std::size_t consumed = parsePackets(stream, deliver, result);
    stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(consumed));
    return result;
}

ParseResult parseDatagram(std::span<const std::uint8_t> datagram,
                          const std::function<void(const MessageRecord&)>& deliver)
{
    ParseResult result;
    std::size_t consumed = parsePackets(datagram, deliver, result);
    return consumed == datagram.size() ? result : ParseResult::Malformed;
}

}  // namespace corvello::wire
