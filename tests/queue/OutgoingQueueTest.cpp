// The outgoing queue against a recording node. The node can hold the
// worker inside its main-channel flush and let it go one cycle at a time,
// which makes the per-cycle behaviour observable without timing guesses.
// Each test builds and destroys its queues; destruction joins the worker.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "core/RemoteNode.h"
#include "routing/OutgoingQueue.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using Records = std::vector<MessageRecord>;

class RecordingNode : public RemoteNode {
public:
    void addFilter(RemoteFilter*) override {}
    void removeFilter(RemoteFilter*) override {}
    void sendMain(const MessageRecord&) override {}
    void sendMetering(const MessageRecord&) override {}
    void connectTo(const std::string&, std::int32_t) override {}
    std::uint16_t listeningPort() override { return 0; }
    bool isConnected() override { return true; }

    void queueMain(const MessageRecord& record) override
    {
        std::lock_guard lock(mutex_);
        main_.push_back(record);
        queuedMain_.push_back(record);
    }
    void queueMetering(const MessageRecord& record) override
    {
        std::lock_guard lock(mutex_);
        queuedMetering_.push_back(record);
    }
    void flushMetering() override {}
    void flushMain() override
    {
        std::unique_lock lock(mutex_);
        ++flushesEntered_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !gated_ || passes_ > 0; });
        if (gated_)
            --passes_;
        flushes_.push_back(std::move(main_));
        main_.clear();
        changed_.notify_all();
    }

    // From now on the worker stops inside each main flush; returns once it
    // has, with the position the held flush will take in flushes().
    std::size_t gate()
    {
        std::unique_lock lock(mutex_);
        gated_ = true;
        passes_ = 0;
        int entered = flushesEntered_;
        changed_.wait(lock, [&] { return flushesEntered_ > entered; });
        return flushes_.size();
    }
    // Lets the held flush finish and waits until the next cycle is held again.
    void step()
    {
        std::unique_lock lock(mutex_);
        int entered = flushesEntered_;
        ++passes_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return flushesEntered_ > entered; });
    }
    void ungate()
    {
        std::lock_guard lock(mutex_);
        gated_ = false;
        changed_.notify_all();
    }
    // Waits for `count` more flushes to complete.
    void awaitFlushes(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        std::size_t target = flushes_.size() + count;
        changed_.wait(lock, [&] { return flushes_.size() >= target; });
    }

    std::vector<Records> flushes() const { std::lock_guard lock(mutex_); return flushes_; }
    Records queuedMain() const { std::lock_guard lock(mutex_); return queuedMain_; }
    Records queuedMetering() const { std::lock_guard lock(mutex_); return queuedMetering_; }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool gated_ = false;
    int passes_ = 0;
    int flushesEntered_ = 0;
    Records main_, queuedMain_, queuedMetering_;
    std::vector<Records> flushes_;
};

// Tables are keyed by node and live for the process, so each test needs a node
// whose address was never used before.
RecordingNode& freshNode()
{
    static std::deque<RecordingNode> nodes;
    return nodes.emplace_back();
}

MessageRecord sent(std::uint16_t kind, std::int32_t index, float value, std::string text = {})
{
    return {kind, index, value, std::move(text), 0};
}

TEST(OutgoingQueue, TwoSendsOfOneControlLeaveOnceWithTheSecondValueAndText)
{
    RecordingNode& node = freshNode();
    OutgoingQueue queue(&node);
    node.gate();
    queue.send({9, 1, 0.1f, "first", 1});
    queue.send({9, 1, 0.2f, "second", 0});
    node.step();
    node.ungate();
    node.awaitFlushes(3);
    EXPECT_EQ(node.queuedMain(), Records{sent(9, 1, 0.2f, "second")});
}

TEST(OutgoingQueue, EntriesAreOrderedByKindThenSignedIndex)
{
    RecordingNode& node = freshNode();
    OutgoingQueue queue(&node);
    node.gate();
    for (auto [kind, index] : {std::pair{12, 0}, {9, 5}, {9, -1}, {9, 0}})
        queue.send(sent(static_cast<std::uint16_t>(kind), index, 1.0f));
    node.step();
    node.ungate();
    EXPECT_EQ(node.queuedMain(), (Records{sent(9, -1, 1.0f), sent(9, 0, 1.0f), sent(9, 5, 1.0f), sent(12, 0, 1.0f)}));
}

TEST(OutgoingQueue, FourChangesLeavePerCycleAndTheCursorGoesOnWhereItStopped)
{
    RecordingNode& node = freshNode();
    OutgoingQueue queue(&node);
    std::size_t held = node.gate();
    for (int i = 0; i < 10; ++i)
        queue.send(sent(9, i, 0.5f));
    node.step();                         // cycle 1 hands over 0..3
    queue.send(sent(9, 0, 0.75f));       // changes again before cycle 2
    for (int cycle = 2; cycle <= 5; ++cycle)
        node.step();
    node.ungate();

    auto flushes = node.flushes();
    ASSERT_GE(flushes.size(), held + 5);
    auto indexes = [](const Records& records) {
        std::vector<int> out;
        for (const MessageRecord& r : records)
            out.push_back(r.index);
        return out;
    };
    EXPECT_EQ(indexes(flushes[held + 1]), (std::vector{0, 1, 2, 3}));
    EXPECT_EQ(indexes(flushes[held + 2]), (std::vector{4, 5, 6, 7}));
    EXPECT_EQ(indexes(flushes[held + 3]), (std::vector{8, 9, 0}));
    EXPECT_EQ(flushes[held + 3].back().value, 0.75f);
    EXPECT_TRUE(flushes[held + 4].empty()) << "an idle cycle still flushes";
}

TEST(OutgoingQueue, MeterKindsGoToTheMeteringChannelAndNothingIsDropped)
{
    RecordingNode& node = freshNode();
    OutgoingQueue queue(&node);
    for (int kind : {95, 96, 103, 104, int{kNothingKind}})
        queue.send(sent(static_cast<std::uint16_t>(kind), 0, 1.0f));
    node.awaitFlushes(3);
    EXPECT_EQ(node.queuedMain(), (Records{sent(95, 0, 1.0f), sent(104, 0, 1.0f)}));
    EXPECT_EQ(node.queuedMetering(), (Records{sent(96, 0, 1.0f), sent(103, 0, 1.0f)}));
}

TEST(OutgoingQueue, DesktopRecordsGoAtOnceInOrderAndAreNeverStored)
{
    RecordingNode& node = freshNode();
    OutgoingQueue queue(&node);
    Records desktop;
    for (int i = 0; i < 20; ++i) {
        desktop.push_back(MessageRecord::withText(kDesktopKind, 0, "chunk " + std::to_string(i)));
        queue.send(desktop.back());
        EXPECT_EQ(node.queuedMain().size(), desktop.size()) << "queued on the node by send itself";
    }
    node.awaitFlushes(3);
    EXPECT_EQ(node.queuedMain(), desktop);
}

TEST(OutgoingQueue, QueuesOfOneNodeShareItsTable)
{
    RecordingNode& node = freshNode();
    testing::internal::CaptureStderr();
    {
        OutgoingQueue first(&node);
        node.gate();  // the first worker stays inside its flush from now on
        first.send(sent(9, 3, 0.9f));
        OutgoingQueue second(&node);  // so only this worker can hand the record over
        auto deadline = std::chrono::steady_clock::now() + 5s;
        while (node.queuedMain().empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        node.ungate();
        node.awaitFlushes(4);
    }
    EXPECT_EQ(node.queuedMain(), Records{sent(9, 3, 0.9f)});
    EXPECT_NE(testing::internal::GetCapturedStderr().find("***************************************entering thread! ("),
              std::string::npos);
}

TEST(OutgoingQueue, WithoutATargetEverythingIsDropped)
{
    OutgoingQueue queue(nullptr);
    for (int kind : {9, 96, int{kDesktopKind}})
        queue.send(sent(static_cast<std::uint16_t>(kind), 0, 1.0f));
    std::this_thread::sleep_for(3 * OutgoingQueue::kCyclePeriod);
}

}  // namespace
}  // namespace corvello
