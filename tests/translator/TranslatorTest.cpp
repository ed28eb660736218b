// The Translator with real host protocols and a real outgoing queue, in front
// of a remote-link node and a MIDI node that record what reaches them.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/MIDINode.h"
#include "core/RemoteNode.h"
#include "link/OutgoingQueue.h"
#include "routing/Translator.h"
#include "routing/VersionCode.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;

class RecordingLinkNode : public RemoteNode {
public:
    void addFilter(RemoteFilter* filter) override { filters.add(filter); }
    void removeFilter(RemoteFilter* filter) override { filters.remove(filter); }
    RemoteQueue& outgoing() override { return queue; }
    void sendMain(const MessageRecord& r) override { queueMain(r); }
    void queueMain(const MessageRecord& r) override
    {
        std::lock_guard lock(mutex);
        main.push_back(r);
    }
    void flushMain() override {}
    void sendMetering(const MessageRecord& r) override { queueMetering(r); }
    void queueMetering(const MessageRecord& r) override
    {
        std::lock_guard lock(mutex);
        metering.push_back(r);
    }
    void flushMetering() override {}
    void connectTo(const std::string&, std::int32_t) override {}
    std::uint16_t listeningPort() override { return 0; }
    bool isConnected() override { return true; }

    // The first main-channel record of `kind`, waiting up to one second for the queue's worker.
    std::optional<MessageRecord> awaitMain(std::uint16_t kind)
    {
        for (auto deadline = std::chrono::steady_clock::now() + 1s; std::chrono::steady_clock::now() < deadline;) {
            {
                std::lock_guard lock(mutex);
                for (const auto& r : main)
                    if (r.kind == kind)
                        return r;
            }
            std::this_thread::sleep_for(5ms);
        }
        return std::nullopt;
    }

    std::mutex mutex;
    std::vector<MessageRecord> main, metering;
    FilterList<RemoteFilter, RemoteNode> filters{this};
    OutgoingQueue queue{this};  // its worker stops before the rest of the node goes
};

class RecordingMidiNode : public MIDINode {
public:
    RecordingMidiNode() : MIDINode(2) {}
    void send(std::int32_t port, const std::uint8_t* bytes, std::int32_t length) override
    {
        std::lock_guard lock(mutex);
        writes.push_back({port, std::vector<std::uint8_t>(bytes, bytes + length)});
    }
    struct Write {
        std::int32_t port;
        std::vector<std::uint8_t> bytes;
    };
    std::mutex mutex;
    std::vector<Write> writes;
};

// Runs on the desktop worker's thread; the test reads it through await().
class RecordingDesktop : public DesktopCommands {
public:
    explicit RecordingDesktop(std::atomic<bool>* destroyed = nullptr) : destroyed(destroyed) {}
    ~RecordingDesktop() override
    {
        if (destroyed)
            *destroyed = true;
    }

    void receive(const MessageRecord& r) override
    {
        std::unique_lock lock(mutex);
        events.push_back("command " + std::to_string(r.index));
        changed.notify_all();
        changed.wait(lock, [&] { return !gated; });
    }
    void setHost(std::int32_t selector, RemoteQueue* q) override
    {
        std::lock_guard lock(mutex);
        events.push_back("host " + std::to_string(selector));
        queue = q;
        changed.notify_all();
    }

    // Commands wait inside receive while the gate is shut.
    void shut()
    {
        std::lock_guard lock(mutex);
        gated = true;
    }
    void open()
    {
        std::lock_guard lock(mutex);
        gated = false;
        changed.notify_all();
    }
    // The events once there are `count` of them (fewer after ten seconds).
    std::vector<std::string> await(std::size_t count)
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, 10s, [&] { return events.size() >= count; });
        return events;
    }
    RemoteQueue* lastQueue()
    {
        std::lock_guard lock(mutex);
        return queue;
    }

private:
    std::atomic<bool>* destroyed;
    std::mutex mutex;
    std::condition_variable changed;
    bool gated = false;
    std::vector<std::string> events;
    RemoteQueue* queue = nullptr;
};

MessageRecord selection(std::int32_t selector, float value = 1.0f)
{
    return MessageRecord::number(kHostSelectionKind, selector, value);
}

struct TranslatorTest : ::testing::Test {
    TranslatorTest()
    {
        auto owned = std::make_unique<RecordingDesktop>();
        desktop = owned.get();
        translator = std::make_unique<Translator>(Translator::Route::host, std::move(owned));
        link.addFilter(translator.get());
        midi.addFilter(translator.get());
    }
    ~TranslatorTest() override
    {
        link.removeFilter(translator.get());
    }

    // Destroyed bottom up: the MIDI node detaches the live translator before
    // it goes; the link node and its queue go last.
    RecordingLinkNode link;
    RecordingDesktop* desktop = nullptr;
    std::unique_ptr<Translator> translator;
    RecordingMidiNode midi;
};

TEST_F(TranslatorTest, SelectorsMapToProtocols)
{
    struct Case { std::int32_t selector; std::int32_t state; };
    const Case cases[] = {
        {0, kHUIProtocol}, {4, kHUIProtocol},
        {1, kMackieControlProtocol}, {2, kMackieControlProtocol}, {5, kMackieControlProtocol},
        {8, kMackieControlProtocol}, {-999, kMackieControlProtocol}, {-994, kMackieControlProtocol},
        {-992, kMackieControlProtocol}, {-991, kMackieControlProtocol},
        {-993, kNoProtocol}, {9, kNoProtocol}, {-1000, kNoProtocol},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selector);
        const int claimed = translator->receive(selection(c.selector));
        EXPECT_EQ(translator->protocolState(), c.state);
        // Mackie Control and HUI claim every record, the selection included;
        // with no protocol the selection goes unclaimed.
        EXPECT_EQ(claimed, c.state == kNoProtocol ? 0 : 1);
    }
    const auto events = desktop->await(std::size(cases));
    ASSERT_EQ(events.size(), std::size(cases));
    for (std::size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(events[i], "host " + std::to_string(cases[i].selector));
    EXPECT_NE(desktop->lastQueue(), nullptr);
}

TEST_F(TranslatorTest, VersionQueryIsAnsweredOnlyOnceAProtocolExists)
{
    const std::int32_t own = ownVersionCode();
    EXPECT_EQ(translator->receive(MessageRecord::number(kVersionQueryKind, own, 0)), 1);
    EXPECT_FALSE(link.awaitMain(kVersionReplyKind));  // no protocol, no queue: nothing leaves

    translator->receive(selection(1));
    translator->receive(MessageRecord::number(kVersionQueryKind, own ^ 0x20, 0));  // bit 5 differs
    auto reply = link.awaitMain(kVersionReplyKind);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->index, own);
    EXPECT_EQ(reply->value, 0.0f);

    link.main.clear();
    translator->receive(MessageRecord::number(kVersionQueryKind, own ^ 0x1F, 0));  // low bits ignored
    reply = link.awaitMain(kVersionReplyKind);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->value, 1.0f);
}

TEST(VersionCode, FollowsTheProductVersion)
{
    EXPECT_EQ(versionCode(0, 3, 1), 3104);
    EXPECT_EQ(versionCode(1, 0, 0), static_cast<std::int16_t>(0x8000));  // wraps to 16 bits
    struct Case { std::int32_t own, remote; bool compatible; };
    const Case cases[] = {
        {3104, 3104, true}, {3104, 3104 + 31, true}, {3104, 3104 + 32, false},
        {-32768, -32768 + 5, true}, {3104, 3104 | (1 << 22), false}, {3104, 3104 | (1 << 23), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(versionsCompatible(c.own, c.remote), c.compatible) << c.own << " vs " << c.remote;
}

// The desktop's waits of 150 to 200 ms must not hold up the link thread:
// while a command is stuck in the controller, the link thread goes on, and
// the controller later sees everything in the order it came in.
TEST_F(TranslatorTest, DesktopCommandsRunOnTheirOwnWorkerInArrivalOrder)
{
    desktop->shut();
    EXPECT_EQ(translator->receive(MessageRecord::withText(kDesktopKind, 14, "")), 1);
    ASSERT_EQ(desktop->await(1).size(), 1u);  // the worker is now stuck inside command 14

    auto linkThread = std::async(std::launch::async, [&] {
        translator->receive(MessageRecord::withText(kDesktopKind, 3, ""));
        translator->receive(selection(1));
        translator->receive(MessageRecord::withText(kDesktopKind, 12, ""));
        return translator->protocolState();
    });
    const auto status = linkThread.wait_for(10s);
    desktop->open();
    ASSERT_EQ(status, std::future_status::ready) << "the link thread waited for the desktop";
    EXPECT_EQ(linkThread.get(), kMackieControlProtocol);
    EXPECT_EQ(desktop->await(4), (std::vector<std::string>{"command 14", "command 3", "host 1", "command 12"}));
}

TEST(PannerRoute, DeclinesHandshakeSelectionAndDesktopRecords)
{
    RecordingLinkNode link;  // destroyed last: the translator's queue flushes into it
    Translator panner(Translator::Route::panner);
    RecordingMidiNode midi;
    link.addFilter(&panner);
    midi.addFilter(&panner);
    EXPECT_EQ(panner.protocolState(), kNoProtocol);
    EXPECT_EQ(panner.receive(selection(1)), 0);  // even before its protocol is installed
    panner.installPanner();
    EXPECT_EQ(panner.protocolState(), kPannerProtocol);
    EXPECT_EQ(panner.receive(MessageRecord::number(kVersionQueryKind, 0, 0)), 0);
    EXPECT_EQ(panner.receive(selection(1)), 0);
    EXPECT_EQ(panner.protocolState(), kPannerProtocol);
    EXPECT_EQ(panner.receive(MessageRecord::withText(kDesktopKind, 14, "")), 0);
    link.removeFilter(&panner);
}

// At exit the link thread may still be delivering. Once close() returns the
// desktop controller is gone, no protocol remains, and whatever still
// arrives is claimed and ignored (the sanitizers see any use after free).
TEST(TranslatorExit, CloseWhileTheLinkAndTheDawDeliverReachesNothingThatIsGone)
{
    std::atomic<bool> desktopDestroyed{false};
    RecordingLinkNode link;
    Translator host(Translator::Route::host, std::make_unique<RecordingDesktop>(&desktopDestroyed));
    RecordingMidiNode midi;
    link.addFilter(&host);
    midi.addFilter(&host);
    host.receive(selection(1));

    std::atomic<bool> closed{false};
    std::atomic<int> afterClose{0};
    auto deliver = [&](auto deliverOne) {
        return std::thread([&, deliverOne] {
            for (int i = 0; !closed || i % 100 != 0; ++i) {
                const bool wasClosed = closed;
                const int claimed = deliverOne(i);
                if (wasClosed && claimed == 1)
                    ++afterClose;
            }
        });
    };
    std::thread linkThread = deliver([&](int i) {
        return i % 3 == 0 ? host.receive(MessageRecord::withText(kDesktopKind, 14, ""))
             : i % 3 == 1 ? host.receive(MessageRecord::number(9, i % 8, 0.5f))
                          : host.receive(selection(i % 2 ? 1 : 0));
    });
    std::thread dawThread = deliver([&](int) {
        const std::uint8_t pitchBend[] = {0xE0, 0x10, 0x40};
        return host.receive(0, pitchBend, 3);
    });
    std::this_thread::sleep_for(50ms);
    host.close();
    EXPECT_TRUE(desktopDestroyed);
    EXPECT_EQ(host.protocolState(), kNoProtocol);
    closed = true;
    linkThread.join();
    dawThread.join();
    EXPECT_GT(afterClose.load(), 0);
    EXPECT_EQ(host.protocolState(), kNoProtocol);
    link.removeFilter(&host);
}

TEST_F(TranslatorTest, MackieFaderGoesOutTwiceAndTheDawsPitchBendComesBack)
{
    translator->receive(selection(1));
    {
        std::lock_guard lock(midi.mutex);
        midi.writes.clear();
    }
    translator->receive(MessageRecord::number(9, 0, 1.0f));
    {
        std::lock_guard lock(midi.mutex);
        ASSERT_EQ(midi.writes.size(), 2u);
        EXPECT_EQ(midi.writes[0].bytes, midi.writes[1].bytes);
        EXPECT_EQ(midi.writes[0].bytes[0], 0xE0);
    }

    const std::uint8_t pitchBend[] = {0xE1, 0x00, 0x40};
    midi.receive(0, pitchBend, 3);
    auto fader = link.awaitMain(9);
    ASSERT_TRUE(fader);
    EXPECT_EQ(fader->index, 1);
    EXPECT_NEAR(fader->value, 0.5f, 0.01f);
}

TEST_F(TranslatorTest, SwitchingProtocolsWhileTheDawStreamsMidiIsSafe)
{
    std::atomic<bool> done{false};
    std::thread daw([&] {
        const std::uint8_t messages[][3] = {{0xE0, 0x10, 0x40}, {0x90, 0x5E, 0x7F}, {0xB0, 0x30, 0x01}};
        while (!done)
            for (const auto& m : messages)
                midi.receive(0, m, 3);
    });
    const auto end = std::chrono::steady_clock::now() + 300ms;
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
        translator->receive(selection(i % 3 == 0 ? 0 : i % 3 == 1 ? 1 : 9));
        translator->receive(MessageRecord::number(9, i % 8, 0.5f));
    }
    done = true;
    daw.join();
    SUCCEED();
}

}  // namespace
}  // namespace corvello
