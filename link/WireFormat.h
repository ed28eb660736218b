#pragma once
// The remote link's packets, the same on both channels. All fields are
// little-endian. A packet is a 2-byte length (counting itself) followed by
// items: a number item is kind, index, float (8 bytes); a text item is kind
// with bit 12 set, index, 16-bit length, the bytes and one pad byte when the
// length is odd. Only 12 bits of kind and 16 bits of index travel.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/MessageRecord.h"

namespace corvello::wire {

inline constexpr std::size_t kPacketCapacity = 1024;
inline constexpr std::size_t kPacketHeaderSize = 2;
inline constexpr std::size_t kNumberItemSize = 8;
inline constexpr std::size_t kTextItemHeaderSize = 6;
inline constexpr std::uint16_t kTextItemFlag = 0x1000;
inline constexpr std::uint16_t kKindMask = 0x0FFF;
// The longest text whose item still fits in one packet beside the packet length.
inline constexpr std::size_t kMaxTextLength = kPacketCapacity - kPacketHeaderSize - kTextItemHeaderSize;

// Bytes the record's item takes on the wire.
std::size_t itemSize(const MessageRecord& record);

// Why a record stays off the wire. Nothing and kind 0 are skipped silently;
// the others are producer faults and get a diagnostic from writeRecords.
enum class Admission { Encode, SkipSilently, KindTooWide, TextTooLong };
Admission admit(const MessageRecord& record);

// Receives each finished packet: its bytes, length included in the first two.
using PacketSink = std::function<void(std::span<const std::uint8_t> packet)>;

// Packs the records in order into as few packets of at most kPacketCapacity
// bytes as possible. Records that cannot travel are left out (with one stderr
// line each when that is a fault); the rest still go.
void writeRecords(std::span<const MessageRecord> records, const PacketSink& sink);

enum class ParseResult { Complete, Malformed };

// Takes every complete packet from the front of `stream`, hands each record to
// `deliver` and erases the packets' bytes; an incomplete tail stays for the
// next call. Malformed (a packet length below 2, an item running past its
// packet) stops at once; the records before the fault have been delivered and
// the caller decides what becomes of the stream. Never reads past `stream`.
ParseResult parseStream(std::vector<std::uint8_t>& stream, const std::function<void(const MessageRecord&)>& deliver);

// One metering datagram, whole and on its own: its packets must fill it
// exactly. Malformed as for parseStream, and also when a packet runs past the
// datagram's end; the records before the fault have been delivered.
ParseResult parseDatagram(std::span<const std::uint8_t> datagram,
                          const std::function<void(const MessageRecord&)>& deliver);

}  // namespace corvello::wire
