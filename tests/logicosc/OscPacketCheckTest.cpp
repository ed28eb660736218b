// The datagram check against hand-built datagrams: malformed ones, each with
// the fault it must be refused for, and well-formed ones, which must pass and
// which oscpack must then read without objection.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "logicosc/OscPacketCheck.h"
#include "osc/OscReceivedElements.h"

namespace corvello {
namespace {

std::string int32(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8), static_cast<char>(u)};
}

// An OSC string: the text, its terminator and zero padding to a multiple of 4.
std::string str(const std::string& text) { return text + std::string(4 - text.size() % 4, '\0'); }

const std::string kFloatMessage = str("tv1") + str(",f") + int32(0x3f000000);

std::string bundle(const std::vector<std::string>& elements)
{
    std::string b = str("#bundle") + int32(0) + int32(1);
    for (const auto& e : elements)
        b += int32(static_cast<std::int32_t>(e.size())) + e;
    return b;
}

// A bundle whose one element declares `size` and is followed by a message.
std::string bundleWithElementSize(std::int32_t size) { return str("#bundle") + int32(0) + int32(1) + int32(size) + kFloatMessage; }

std::string nested(int depth)
{
    std::string packet = kFloatMessage;
    for (int i = 0; i < depth; ++i)
        packet = bundle({packet});
    return packet;
}

struct Malformed {
    const char* name;
    std::string datagram;
    const char* fault;
    std::size_t offset;
};

TEST(OscPacketCheck, MalformedDatagramsAreRefusedForTheirFault)
{
    const std::vector<Malformed> cases = {
        {"the element size -4 that loops oscpack", bundleWithElementSize(-4), "not positive", 16},
        {"element size -8", bundleWithElementSize(-8), "not positive", 16},
        {"element size -16", bundleWithElementSize(-16), "not positive", 16},
        {"element size INT_MIN", bundleWithElementSize(INT_MIN), "not positive", 16},
        {"element size 0", bundleWithElementSize(0), "not positive", 16},
        {"element size not a multiple of 4", bundleWithElementSize(6), "not a multiple of 4", 16},
        {"element past the end", bundleWithElementSize(16), "past the end", 16},
        {"bundles nested too deep", nested(kMaxOscBundleDepth + 1), "nested too deep", 20 * kMaxOscBundleDepth},
        {"not a bundle header", str("#bundlX") + int32(0) + int32(1), "not a bundle header", 0},
        {"bundle shorter than its header", str("#bundle") + int32(0), "not a bundle header", 0},
        {"empty datagram", "", "empty", 0},
        {"size not a multiple of 4", kFloatMessage + std::string(1, '\0'), "multiple of 4", 0},
        {"address not terminated", std::string("tv12"), "address pattern", 0},
        {"address padding not zero", std::string("t\0x\0,f\0\0\0\0\0\0", 12), "address pattern", 0},
        {"type tags missing", str("tv1") + int32(0x3f000000), "type tags missing", 4},
        {"type tags not terminated", str("tv1") + ",fff", "type tags", 4},
        {"unknown type tag", str("tv1") + str(",x") + int32(0), "unknown type tag", 8},
        {"float past the end", str("tv1") + str(",f"), "past the end", 8},
        {"double past the end", str("tv1") + str(",d") + int32(0), "past the end", 8},
        {"string not terminated", str("tn1") + str(",s") + "Kick", "string argument", 8},
        {"blob size missing", str("b") + str(",b"), "blob size", 8},
        {"blob past the end", str("b") + str(",b") + int32(8) + int32(0), "past the end", 8},
        {"blob size that wraps oscpack's rounding", str("b") + str(",b") + int32(-3) + int32(0), "past the end", 8},
        {"array not ended", str("a") + str(",[f") + int32(0), "array not ended", 0},
        {"array end without a beginning", str("a") + str(",]"), "array end", 8},
        {"fault inside a nested message", bundle({bundle({str("tv1") + ",fff"})}), "type tags", 44},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto fault = findOscPacketFault(c.datagram);
        ASSERT_TRUE(fault);
        EXPECT_NE(std::string(fault->what).find(c.fault), std::string::npos) << fault->what;
        EXPECT_EQ(fault->offset, c.offset);
    }
}

struct WellFormed {
    const char* name;
    std::string datagram;
    std::vector<std::pair<std::string, std::string>> messages;  // address, type tags
};

// Walks a packet as oscpack's listener does; throws what oscpack throws.
void readWithOscpack(const osc::ReceivedPacket& packet);

void readElement(const char* data, osc::osc_bundle_element_size_t size)
{
    readWithOscpack(osc::ReceivedPacket(data, size));
}

void readWithOscpack(const osc::ReceivedPacket& packet)
{
    if (packet.IsBundle()) {
        const osc::ReceivedBundle b(packet);
        for (auto e = b.ElementsBegin(); e != b.ElementsEnd(); ++e)
            readElement(e->Contents(), e->Size());
        return;
    }
    const osc::ReceivedMessage m(packet);
    for (auto a = m.ArgumentsBegin(); a != m.ArgumentsEnd(); ++a) {
    }
}

TEST(OscPacketCheck, WellFormedDatagramsPassAndOscpackReadsThem)
{
    const std::vector<WellFormed> cases = {
        {"float", kFloatMessage, {{"tv1", "f"}}},
        {"string", str("tn1") + str(",s") + str("Kic"), {{"tn1", "s"}}},
        {"string of a multiple of 4", str("tn1") + str(",s") + str("Kick"), {{"tn1", "s"}}},
        {"no type tags", str("tv1"), {{"tv1", ""}}},
        {"empty type tags", str("tv1") + str(","), {{"tv1", ""}}},
        {"empty address", str("") + str(",f") + int32(0), {{"", "f"}}},
        {"every fixed-size type", str("x") + str(",ifcrmhtdTFNI") + std::string(5 * 4 + 3 * 8, '\0'),
         {{"x", "ifcrmhtdTFNI"}}},
        {"blob with padding", str("b") + str(",bf") + int32(5) + std::string(8, '\x7f') + int32(0), {{"b", "bf"}}},
        {"arrays", str("a") + str(",[f[s]]") + int32(0) + str("x"), {{"a", "[f[s]]"}}},
        {"trailing bytes after the arguments", kFloatMessage + int32(0), {{"tv1", "f"}}},
        {"empty bundle", bundle({}), {}},
        {"bundle in order, nested where it stands",
         bundle({str("a1") + str(",f") + int32(0), bundle({str("b1") + str(",s") + str("x")}), str("a2") + str(",f") + int32(0)}),
         {{"a1", "f"}, {"b1", "s"}, {"a2", "f"}}},
        {"bundles nested as deep as allowed", nested(kMaxOscBundleDepth), {{"tv1", "f"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<std::string, std::string>> seen;
        const auto fault = findOscPacketFault(c.datagram, [&](const CheckedOscMessage& m) {
            seen.emplace_back(m.address, m.typeTags);
        });
        EXPECT_FALSE(fault) << fault->what << " at " << fault->offset;
        EXPECT_EQ(seen, c.messages);
        EXPECT_NO_THROW(readWithOscpack(osc::ReceivedPacket(c.datagram.data(), static_cast<int>(c.datagram.size()))));
    }
}

}  // namespace
}  // namespace corvello
