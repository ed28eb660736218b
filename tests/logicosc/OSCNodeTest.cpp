// The OSC node over real UDP sockets on 127.0.0.1: the node's own receive
// thread and a plain socket of the test on the other side.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <mutex>
#include <string>
#include <vector>

#include "logicosc/OSCNode.h"
#include "osc/OscOutboundPacketStream.h"
#include "tests/support/CapturedLog.h"
#include "tests/logicosc/LoopbackUdp.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using test::LoopbackUdp;

// Collects what reaches it; claims records or lets them pass.
class RecordingFilter : public OSCFilter {
public:
    explicit RecordingFilter(bool claims = true) : claims_(claims) {}

    int receive(OscRecord record) override
    {
        std::lock_guard lock(mutex_);
        records_.push_back(record);
        return claims_ ? 1 : 0;
    }

    std::vector<OscRecord> records() const
    {
        std::lock_guard lock(mutex_);
        return records_;
    }

    // Waits for a record with the given address; the records before it.
    std::optional<std::vector<OscRecord>> recordsBefore(std::string_view address) const
    {
        for (auto deadline = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(2ms)) {
            auto all = records();
            for (std::size_t i = 0; i < all.size(); ++i)
                if (all[i].addressView() == address)
                    return std::vector<OscRecord>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(i));
        }
        return std::nullopt;
    }

    bool waitForCount(std::size_t count) const
    {
        for (auto deadline = std::chrono::steady_clock::now() + 5s; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(2ms))
            if (records().size() >= count)
                return true;
        return false;
    }

private:
    bool claims_;
    mutable std::mutex mutex_;
    std::vector<OscRecord> records_;
};

OscRecord floatRecord(std::string_view address, float value)
{
    OscRecord r;
    r.setAddress(address);
    r.value = value;
    return r;
}

std::string packet(const osc::OutboundPacketStream& stream) { return std::string(stream.Data(), stream.Size()); }

template <typename Build>
std::string build(Build content)
{
    char buffer[1024];
    osc::OutboundPacketStream stream(buffer, sizeof buffer);
    content(stream);
    return packet(stream);
}

std::string message(const char* address, float value)
{
    return build([&](auto& s) { s << osc::BeginMessage(address) << value << osc::EndMessage; });
}

TEST(OSCNodeSending, FloatAndStringMessagesHaveTheExactWireBytes)
{
    LoopbackUdp daw;
    OSCNode node;
    node.setPeer("127.0.0.1", daw.port());

    node.sendFloat(floatRecord("tm3", 1.0f));
    EXPECT_EQ(daw.receive(), std::string("tm3\0,f\0\0\x3f\x80\0\0", 12));

    OscRecord text;
    text.setAddress("tn1");
    text.setText("Kick");
    EXPECT_TRUE(node.sendString(text));
    EXPECT_EQ(daw.receive(), std::string("tn1\0,s\0\0Kick\0\0\0\0", 16));
}

TEST(OSCNodeSending, NothingLeavesWithoutAPeer)
{
    LoopbackUdp daw;
    OSCNode node;
    node.sendFloat(floatRecord("tv1", 0.5f));
    EXPECT_FALSE(node.sendString(floatRecord("tv1", 0.5f)));

    node.setPeer("127.0.0.1", daw.port());
    node.sendFloat(floatRecord("tv1", 0.5f));
    ASSERT_TRUE(daw.receive());

    node.setPeer("", 0);
    node.sendFloat(floatRecord("tv2", 0.5f));
    EXPECT_FALSE(node.sendString(floatRecord("tv2", 0.5f)));
    EXPECT_FALSE(daw.receive(200ms));
}

struct ReceiveCase {
    const char* name;
    std::string datagram;
    std::vector<std::pair<std::string, float>> records;  // address, value (or text for strings)
    std::string logLine;                                 // how the line logged begins; empty: none
};

// The attack datagram: a bundle whose one element claims -4 bytes, which
// keeps oscpack's bundle parser in an endless loop.
const std::string kElementSizeMinus4("#bundle\0\0\0\0\0\0\0\0\x01\xff\xff\xff\xfctv1\0,f\0\0\x3f\0\0\0", 32);

std::vector<ReceiveCase> receiveCases()
{
    const std::string longAddress(70, 'a');
    const std::string address63(63, 'b');
    return {
        {"float", message("tv1", 0.5f), {{"tv1", 0.5f}}, ""},
        {"int32", build([](auto& s) { s << osc::BeginMessage("tv1") << osc::int32(3) << osc::EndMessage; }), {}, ""},
        {"boolean", build([](auto& s) { s << osc::BeginMessage("tv1") << true << osc::EndMessage; }), {}, ""},
        {"no argument", build([](auto& s) { s << osc::BeginMessage("tv1") << osc::EndMessage; }), {}, ""},
        {"two floats",
         build([](auto& s) { s << osc::BeginMessage("tv2") << 0.25f << 0.75f << osc::EndMessage; }),
         {{"tv2", 0.25f}},
         "OSC: error while parsing message: tv2: too many arguments"},
        {"bundle in order, nested where it stands",
         build([](auto& s) {
             s << osc::BeginBundleImmediate << osc::BeginMessage("a1") << 1.0f << osc::EndMessage
               << osc::BeginBundleImmediate << osc::BeginMessage("b1") << 2.0f << osc::EndMessage
               << osc::EndBundle << osc::BeginMessage("a2") << 3.0f << osc::EndMessage << osc::EndBundle;
         }),
         {{"a1", 1.0f}, {"b1", 2.0f}, {"a2", 3.0f}},
         ""},
        {"not OSC", std::string("tv1\0,f\0\0\x3f", 9), {}, "OSC: refused a datagram of 9 bytes from 127.0.0.1:"},
        {"bundle element size -4", kElementSizeMinus4, {}, "OSC: refused a datagram of 32 bytes from 127.0.0.1:"},
        {"address cut to 63 characters", message(longAddress.c_str(), 1.0f), {{longAddress.substr(0, 63), 1.0f}}, ""},
        {"address of 63 characters kept", message(address63.c_str(), 1.0f), {{address63, 1.0f}}, ""},
    };
}

// A receiving node with one recording filter, and a socket that talks to it.
struct ListeningNode {
    RecordingFilter filter;
    OSCNode node;
    const std::uint16_t port = attachAndStart();  // filters are attached before traffic starts
    LoopbackUdp daw;

    std::uint16_t attachAndStart()
    {
        node.addFilter(&filter);
        return static_cast<std::uint16_t>(node.startReceiving());
    }
};

TEST(OSCNodeReceiving, OnlyFloatOrStringFirstArgumentsBecomeRecords)
{
    for (const auto& c : receiveCases()) {
        SCOPED_TRACE(c.name);
        ListeningNode listening;  // each with its own rate limits
        auto& [filter, node, port, daw] = listening;
        const std::string sentinel = std::string("end ") + c.name;
        test::CapturedLog log;
        const std::size_t before = filter.records().size();
        daw.sendTo(port, c.datagram);
        daw.sendTo(port, message(sentinel.c_str(), 0.0f));
        auto all = filter.recordsBefore(sentinel);
        ASSERT_TRUE(all);
        std::vector<std::pair<std::string, float>> got;
        for (auto it = all->begin() + static_cast<std::ptrdiff_t>(before); it != all->end(); ++it)
            got.emplace_back(it->addressView(), it->value);
        EXPECT_EQ(got, c.records);
        const auto lines = log.lines();
        if (c.logLine.empty()) {
            EXPECT_TRUE(lines.empty()) << lines.front();
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines[0].substr(0, c.logLine.size()), c.logLine) << lines[0];
        }
    }
}

// Refusals are rate-limited, and none of them keeps the loop from the next
// datagram.
TEST(OSCNodeReceiving, AFloodOfRefusedDatagramsLogsOneLine)
{
    ListeningNode listening;
    auto& [filter, node, port, daw] = listening;
    test::CapturedLog log;
    for (int i = 0; i < 50; ++i)
        daw.sendTo(port, kElementSizeMinus4);
    daw.sendTo(port, message("end", 0.0f));
    auto records = filter.recordsBefore("end");
    ASSERT_TRUE(records);
    EXPECT_TRUE(records->empty());
    EXPECT_EQ(log.linesWith("refused").size(), 1u);
    EXPECT_TRUE(node.isReceiving());
}

TEST(OSCNodeReceiving, StringArgumentsCarryTheirTextCutToFit)
{
    ListeningNode listening;
    auto& [filter, node, port, daw] = listening;
    const std::string longName(100, 'n');
    daw.sendTo(port, build([&](auto& s) { s << osc::BeginMessage("tn1") << longName.c_str() << osc::EndMessage; }));
    daw.sendTo(port, message("end", 0.0f));

    auto records = filter.recordsBefore("end");
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 1u);
    EXPECT_EQ((*records)[0].textView(), longName.substr(0, 63));
    EXPECT_EQ((*records)[0].value, 0.0f);
}

TEST(OSCNodeReceiving, FiltersAreOfferedInOrderUntilOneClaims)
{
    RecordingFilter declines(false), claims, neverReached;
    OSCNode node;
    node.addFilter(&declines);
    node.addFilter(&claims);
    node.addFilter(&neverReached);
    node.receive(floatRecord("tv1", 0.5f));
    EXPECT_EQ(declines.records().size(), 1u);
    EXPECT_EQ(claims.records().size(), 1u);
    EXPECT_TRUE(neverReached.records().empty());
    EXPECT_EQ(claims.node, &node);
}

TEST(OSCNodeReceiving, StartingTwiceKeepsOnePort)
{
    OSCNode node;
    const auto port = node.startReceiving();
    EXPECT_GT(port, 0);
    EXPECT_EQ(node.startReceiving(), port);
}

// The receive loop forgets a stop that comes before it runs; destroying a
// node right after starting it must still end its thread.
TEST(OSCNodeReceiving, DestroyingAFreshlyStartedNodeReturns)
{
    for (int i = 0; i < 20; ++i) {
        OSCNode node;
        node.startReceiving();
    }
}

// Throws from the filter for records named "boom", as a failing routing might.
class ThrowingFilter : public RecordingFilter {
public:
    int receive(OscRecord record) override
    {
        if (record.addressView() == "boom")
            throw std::runtime_error("filter failed");
        return RecordingFilter::receive(record);
    }
};

TEST(OSCNodeReceiving, AnErrorEndingTheLoopRestartsItOnTheSamePort)
{
    ThrowingFilter filter;
    OSCNode node;
    node.addFilter(&filter);
    const auto port = static_cast<std::uint16_t>(node.startReceiving());
    test::CapturedLog log;
    LoopbackUdp daw;
    daw.sendTo(port, message("boom", 1.0f));
    daw.sendTo(port, message("after", 1.0f));
    ASSERT_TRUE(filter.recordsBefore("after"));
    EXPECT_TRUE(node.isReceiving());
    const auto lines = log.linesWith("OSC: reception on UDP port " + std::to_string(port) + " failed (filter failed)");
    EXPECT_EQ(lines.size(), 1u);
}

// A loop that cannot keep running is reported, and the next start opens the
// same port again and says so.
TEST(OSCNodeReceiving, ALoopFailingOverAndOverEndsAndIsReportedThenStartsAgain)
{
    ThrowingFilter filter;
    OSCNode node;
    node.addFilter(&filter);
    const auto port = node.startReceiving();
    test::CapturedLog log;
    LoopbackUdp daw;
    for (int i = 0; i < 40; ++i)
        daw.sendTo(static_cast<std::uint16_t>(port), message("boom", 1.0f));
    for (auto deadline = std::chrono::steady_clock::now() + 5s;
         node.isReceiving() && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(node.isReceiving());
    EXPECT_EQ(log.linesWith("OSC: UDP port " + std::to_string(port) + " is no longer served: filter failed").size(),
              1u);

    bool started = false;
    EXPECT_EQ(node.startReceiving(&started), port);
    EXPECT_TRUE(started);
    EXPECT_TRUE(node.isReceiving());
    daw.sendTo(static_cast<std::uint16_t>(port), message("back", 1.0f));
    EXPECT_TRUE(filter.recordsBefore("back"));
}

// A receive thread stuck in a filter does not hold a bounded stop.
TEST(OSCNodeReceiving, AStopWithADeadlineReturnsWhileTheThreadIsStuck)
{
    std::mutex stuck;
    class BlockingFilter : public OSCFilter {
    public:
        explicit BlockingFilter(std::mutex& m) : m_(m) {}
        int receive(OscRecord) override
        {
            entered = true;
            std::lock_guard lock(m_);
            return 1;
        }
        std::atomic<bool> entered{false};

    private:
        std::mutex& m_;
    } filter(stuck);
    OSCNode node;
    node.addFilter(&filter);
    const auto port = static_cast<std::uint16_t>(node.startReceiving());
    std::unique_lock hold(stuck);
    LoopbackUdp daw;
    daw.sendTo(port, message("tv1", 1.0f));
    for (auto deadline = std::chrono::steady_clock::now() + 5s; !filter.entered && std::chrono::steady_clock::now() < deadline;)
        std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(filter.entered);

    EXPECT_FALSE(node.stopReceiving(OSCNode::Clock::now() + 200ms));
    hold.unlock();
    EXPECT_TRUE(node.stopReceiving(OSCNode::Clock::time_point::max()));
    EXPECT_FALSE(node.isReceiving());
}

TEST(OSCNodeReceiving, DestructionDetachesTheFilters)
{
    RecordingFilter filter;
    {
        OSCNode node;
        node.addFilter(&filter);
        node.startReceiving();
    }
    EXPECT_EQ(filter.node, nullptr);
}

// The host that speaks first is answered, from the port it talks to; another
// host (127.0.0.2) is not heard and does not take the answers until the first
// has been silent for the limit. Following anew forgets the first.
TEST(OSCNodeAnswering, TheFirstHostIsAnsweredUntilSilentOrForgotten)
{
    RecordingFilter filter;
    OSCNode node;
    node.addFilter(&filter);
    constexpr auto kSilence = 300ms;
    node.followSender(true, kSilence);
    const auto port = static_cast<std::uint16_t>(node.startReceiving());
    test::CapturedLog log;

    LoopbackUdp daw;  // talks to the node, so it only hears datagrams from the node's port
    daw.sendTo(port, message("md", 0.0f));
    ASSERT_TRUE(filter.waitForCount(1));
    node.sendFloat(floatRecord("tv1", 0.75f));
    EXPECT_EQ(daw.receive(), message("tv1", 0.75f));

    LoopbackUdp daw2;  // the same host from a new port: answered there
    daw2.sendTo(port, message("md", 0.0f));
    ASSERT_TRUE(filter.waitForCount(2));
    node.sendFloat(floatRecord("tv1", 0.5f));
    EXPECT_EQ(daw2.receive(), message("tv1", 0.5f));

#ifdef _WIN32
    GTEST_SKIP() << "under Wine a datagram sent from 127.0.0.2 arrives as one from 127.0.0.1";
#endif
    LoopbackUdp other(LoopbackUdp::otherHost());
    other.sendTo(port, message("tv8", 1.0f));
    other.sendTo(port, message("tv8", 1.0f));
    daw.sendTo(port, message("still the daw", 0.0f));
    auto heard = filter.recordsBefore("still the daw");
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->size(), 2u) << "the other host's datagrams were not delivered; "
                                 << testing::PrintToString(log.lines());
    EXPECT_EQ(log.linesWith("OSC: ignored a datagram from 127.0.0.2:" + std::to_string(other.port()) +
                            ": the DAW answered is at 127.0.0.1")
                  .size(),
              1u);
    node.sendFloat(floatRecord("tv2", 0.25f));
    EXPECT_EQ(daw.receive(), message("tv2", 0.25f));
    EXPECT_FALSE(other.receive(100ms));

    std::this_thread::sleep_for(kSilence + 100ms);
    other.sendTo(port, message("other speaks", 0.0f));
    ASSERT_TRUE(filter.recordsBefore("other speaks"));
    node.sendFloat(floatRecord("tv3", 0.5f));
    EXPECT_EQ(other.receive(), message("tv3", 0.5f));

    node.followSender(true, kSilence);
    daw.sendTo(port, message("daw again", 0.0f));
    ASSERT_TRUE(filter.recordsBefore("daw again"));
    node.sendFloat(floatRecord("tv4", 0.5f));
    EXPECT_EQ(daw.receive(), message("tv4", 0.5f));
    EXPECT_FALSE(other.receive(100ms));
}

// A malformed datagram picks no sender: the DAW that speaks next is answered.
TEST(OSCNodeAnswering, ARefusedDatagramPinsNoSender)
{
    RecordingFilter filter;
    OSCNode node;
    node.addFilter(&filter);
    node.followSender(true);
    const auto port = static_cast<std::uint16_t>(node.startReceiving());
    test::CapturedLog log;
    LoopbackUdp attacker(LoopbackUdp::otherHost()), daw;
    attacker.sendTo(port, kElementSizeMinus4);
    daw.sendTo(port, message("md", 0.0f));
    ASSERT_TRUE(filter.waitForCount(1));
    node.sendFloat(floatRecord("tv1", 0.75f));
    EXPECT_EQ(daw.receive(), message("tv1", 0.75f));
    EXPECT_FALSE(attacker.receive(100ms));
}

// The browser thread aims the node while another thread sends through it:
// no send may use a socket that is being replaced or closed.
TEST(OSCNodeAnswering, PeerChangesDuringSendsAreSafe)
{
    LoopbackUdp daw;
    OSCNode node;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        while (!done)
            node.sendFloat(floatRecord("tv1", 0.5f));
    });
    for (int i = 0; i < 200; ++i) {
        node.setPeer("127.0.0.1", daw.port());
        node.setPeer("", 0);
    }
    done = true;
    sender.join();
}

}  // namespace
}  // namespace corvello
