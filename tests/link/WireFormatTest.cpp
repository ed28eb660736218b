// The remote link's packet codec, without sockets.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/WireFormat.h"
#include "tests/support/CapturedLog.h"

namespace corvello {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> encode(const std::vector<MessageRecord>& records)
{
    std::vector<Bytes> packets;
    wire::writeRecords(records, [&](std::span<const std::uint8_t> p) { packets.emplace_back(p.begin(), p.end()); });
    return packets;
}

Bytes concatenate(const std::vector<Bytes>& packets)
{
    Bytes all;
    for (const Bytes& p : packets)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Parsed {
    wire::ParseResult result;
    std::vector<MessageRecord> records;
};

Parsed parse(Bytes& stream)
{
    Parsed parsed;
    parsed.result = wire::parseStream(stream, [&](const MessageRecord& r) { parsed.records.push_back(r); });
    return parsed;
}

TEST(WireFormat, ItemSizesFollowTheTextLengthRoundedUpToEven)
{
    struct Case {
        std::string text;
        std::size_t size;
    } cases[] = {{"", 8}, {"a", 8}, {"abcde", 12}, {"abcdef", 12}, {"abcdefg", 14}};
    for (const Case& c : cases) {
        auto packets = encode({MessageRecord::withText(185, 0, c.text)});
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].size(), 2 + c.size) << '"' << c.text << '"';
        EXPECT_EQ(wire::itemSize(MessageRecord::withText(185, 0, c.text)), c.size);
    }
}

TEST(WireFormat, LayoutIsLittleEndianWithTheTextFlagInTheKind)
{
    auto packets = encode({MessageRecord::number(9, 2, 0.75f), MessageRecord::withText(185, -1, "abc")});
    ASSERT_EQ(packets.size(), 1u);
    Bytes expected = {20, 0,                                   // packet length
                      9, 0, 2, 0, 0x00, 0x00, 0x40, 0x3F,      // 0.75f
                      185, 0x10, 0xFF, 0xFF, 3, 0, 'a', 'b', 'c', 0};
    EXPECT_EQ(packets[0], expected);
}

TEST(WireFormat, A130RecordFlushLeavesAsPacketsOf127And3Items)
{
    std::vector<MessageRecord> records;
    for (int i = 0; i < 130; ++i)
        records.push_back(MessageRecord::number(9, i, 0.5f));
    auto packets = encode(records);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].size(), 2 + 127 * 8u);
    EXPECT_EQ(packets[1].size(), 2 + 3 * 8u);

    Bytes stream = concatenate(packets);
    Parsed parsed = parse(stream);
    EXPECT_EQ(parsed.records, records);
    EXPECT_TRUE(stream.empty());
}

TEST(WireFormat, OnlySixteenBitsOfIndexTravelSigned)
{
    struct Case {
        std::int32_t sent, read;
    } cases[] = {{-1, -1}, {40000, -25536}, {32767, 32767}, {-32768, -32768}, {65536 + 7, 7}};
    for (const Case& c : cases) {
        Bytes stream = concatenate(encode({MessageRecord::number(9, c.sent, 1.0f)}));
        Parsed parsed = parse(stream);
        ASSERT_EQ(parsed.records.size(), 1u);
        EXPECT_EQ(parsed.records[0].index, c.read) << c.sent;
    }
    Bytes minusOne = concatenate(encode({MessageRecord::number(9, -1, 1.0f)}));
    EXPECT_EQ(minusOne[4], 0xFF);
    EXPECT_EQ(minusOne[5], 0xFF);
}

TEST(WireFormat, RecordsThatCannotTravelAreLeftOutAndTheRestStillGoes)
{
    EXPECT_TRUE(encode({MessageRecord::number(0, 1, 1.0f), MessageRecord::nothing()}).empty());

    test::CapturedLog captured;
    auto packets = encode({MessageRecord::number(0, 1, 1.0f), MessageRecord::withText(185, 1, std::string(1017, 'x')),
                           MessageRecord::number(0x1009, 1, 1.0f), MessageRecord::number(kNothingKind, 1, 1.0f),
                           MessageRecord::number(9, 3, 0.25f)});
    const std::string diagnostics = ::testing::PrintToString(captured.lines());
    EXPECT_NE(diagnostics.find("1017 bytes of text"), std::string::npos) << diagnostics;
    EXPECT_NE(diagnostics.find("kind 4105"), std::string::npos) << diagnostics;

    Bytes stream = concatenate(packets);
    EXPECT_EQ(parse(stream).records, std::vector{MessageRecord::number(9, 3, 0.25f)});
}

TEST(WireFormat, TheLongestTextFillsOnePacketExactly)
{
    MessageRecord longest = MessageRecord::withText(185, 0, std::string(wire::kMaxTextLength, '\0'));
    auto packets = encode({MessageRecord::number(9, 0, 1.0f), longest});
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1].size(), wire::kPacketCapacity);
    Bytes stream = concatenate(packets);
    EXPECT_EQ(parse(stream).records.back(), longest);
}

TEST(WireFormat, BinaryTextAndOddLengthsRoundTrip)
{
    std::vector<MessageRecord> records = {
        MessageRecord::withText(210, 3, std::string("\0\x01\xFF\x10", 4)),
        MessageRecord::withText(185, -2, "odd"),
        MessageRecord::number(0xFFF, 12, -3.5f),
    };
    Bytes stream = concatenate(encode(records));
    EXPECT_EQ(parse(stream).records, records);
}

TEST(WireFormat, ReadIgnoresTheTopFourBitsOfKindExceptTheTextFlag)
{
    Bytes stream = {10, 0, 0x09, 0xE0, 1, 0, 0, 0, 0x80, 0x3F};
    Parsed parsed = parse(stream);
    ASSERT_EQ(parsed.records.size(), 1u);
    EXPECT_EQ(parsed.records[0], MessageRecord::number(9, 1, 1.0f));
}

TEST(WireFormat, APacketArrivingOneByteAtATimeIsParsedOnItsLastByte)
{
    std::vector<MessageRecord> records = {MessageRecord::number(9, 1, 0.5f), MessageRecord::withText(185, 2, "hello")};
    Bytes whole = concatenate(encode(records));
    Bytes stream;
    std::vector<MessageRecord> delivered;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        stream.push_back(whole[i]);
        ASSERT_EQ(wire::parseStream(stream, [&](const MessageRecord& r) { delivered.push_back(r); }),
                  wire::ParseResult::Complete);
        EXPECT_EQ(delivered.empty(), i + 1 < whole.size()) << "after byte " << i;
    }
    EXPECT_EQ(delivered, records);
    EXPECT_TRUE(stream.empty());
}

TEST(WireFormat, TwoPacketsInOneReadAreBothParsedAndAPartialThirdWaits)
{
    Bytes first = concatenate(encode({MessageRecord::number(9, 1, 0.5f)}));
    Bytes second = concatenate(encode({MessageRecord::withText(185, 2, "x")}));
    Bytes stream = first;
    stream.insert(stream.end(), second.begin(), second.end());
    stream.insert(stream.end(), first.begin(), first.begin() + 5);
    Parsed parsed = parse(stream);
    EXPECT_EQ(parsed.result, wire::ParseResult::Complete);
    EXPECT_EQ(parsed.records.size(), 2u);
    EXPECT_EQ(stream, Bytes(first.begin(), first.begin() + 5));
}

TEST(WireFormat, EmptyPacketsAndAnOddTrailingByteAreHarmless)
{
    Bytes stream = {2, 0, 11, 0, 9, 0, 1, 0, 0, 0, 0x80, 0x3F, 0xAA};
    Parsed parsed = parse(stream);
    EXPECT_EQ(parsed.result, wire::ParseResult::Complete);
    EXPECT_EQ(parsed.records, std::vector{MessageRecord::number(9, 1, 1.0f)});
    EXPECT_TRUE(stream.empty());
}

TEST(WireFormat, MalformedStreamsStopWithoutReadingPastTheirPacket)
{
    struct Case {
        const char* name;
        Bytes stream;
        std::size_t recordsBeforeFault;
    } cases[] = {
        {"length 0", {0, 0, 9, 0}, 0},
        {"length 1", {1, 0, 9, 0}, 0},
        {"negative length", {0x00, 0x80, 9, 0}, 0},
        {"number item past its packet", {6, 0, 9, 0, 1, 0, 0, 0, 0x80, 0x3F}, 0},
        {"item header past its packet", {5, 0, 0x09, 0x10, 1, 0, 0}, 0},
        {"text past its packet", {10, 0, 0x09, 0x10, 1, 0, 200, 0, 'a', 'b'}, 0},
        {"fault after a good item", {14, 0, 9, 0, 1, 0, 0, 0, 0x80, 0x3F, 9, 0, 2, 0}, 1},
        {"good packet then a bad one", {10, 0, 9, 0, 1, 0, 0, 0, 0x80, 0x3F, 1, 0}, 1},
    };
    for (Case& c : cases) {
        // Exactly sized heap copies let the sanitizers catch any read past the end.
        Bytes stream(c.stream.begin(), c.stream.end());
        stream.shrink_to_fit();
        Parsed parsed = parse(stream);
        EXPECT_EQ(parsed.result, wire::ParseResult::Malformed) << c.name;
        EXPECT_EQ(parsed.records.size(), c.recordsBeforeFault) << c.name;
    }
}

// A datagram stands alone: whatever it holds past its whole packets is a
// fault, and nothing of it waits for the next one.
TEST(WireFormat, EachDatagramIsParsedOnItsOwn)
{
    const Bytes fader = {10, 0, 9, 5, 0, 0, 0, 0, 0x80, 0x3F};
    struct Case {
        const char* name;
        Bytes datagram;
        wire::ParseResult result;
        std::size_t records;
    } cases[] = {
        {"one packet", fader, wire::ParseResult::Complete, 1},
        {"two packets", concatenate({fader, fader}), wire::ParseResult::Complete, 2},
        {"empty", {}, wire::ParseResult::Complete, 0},
        {"length past the end", {0xFF, 0x7F, 9, 5, 0, 0, 0, 0, 0x80, 0x3F}, wire::ParseResult::Malformed, 0},
        {"length 0x8000", {0x00, 0x80, 9, 5, 0, 0, 0, 0, 0x80, 0x3F}, wire::ParseResult::Malformed, 0},
        {"length 0xFFFF", {0xFF, 0xFF, 9, 5, 0, 0, 0, 0, 0x80, 0x3F}, wire::ParseResult::Malformed, 0},
        {"packet then a partial one", concatenate({fader, {20, 0, 9}}), wire::ParseResult::Malformed, 1},
        {"packet then one stray byte", concatenate({fader, {7}}), wire::ParseResult::Malformed, 1},
    };
    for (const Case& c : cases) {
        Bytes datagram(c.datagram.begin(), c.datagram.end());
        datagram.shrink_to_fit();
        std::vector<MessageRecord> records;
        EXPECT_EQ(wire::parseDatagram(datagram, [&](const MessageRecord& r) { records.push_back(r); }), c.result)
            << c.name;
        EXPECT_EQ(records.size(), c.records) << c.name;
    }
}

}  // namespace
}  // namespace corvello
