// The outgoing queue against a recording node and a clock moved by hand.
// The node can hold the worker inside a main-channel flush, so records pile
// up in the table meanwhile, and let it go one flush at a time; the clock
// only moves when a test moves it. Together they make the pacing observable
// as the content and order of flushes, with no timing guesses. Each test
// builds and destroys its queue; destruction joins the worker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/RemoteNode.h"
#include "link/OutgoingQueue.h"
#include "link/SendBudget.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using Records = std::vector<MessageRecord>;
using Clock = std::chrono::steady_clock;

class ManualClock {
public:
    Clock::time_point now() const { return Clock::time_point(Clock::duration(ticks_.load())); }
    void advance(Clock::duration by) { ticks_ += by.count(); }
    OutgoingQueue::TimeSource source()
    {
        return [this] { return now(); };
    }

private:
    std::atomic<Clock::rep> ticks_{std::chrono::duration_cast<Clock::duration>(1h).count()};
};

class RecordingNode : public RemoteNode {
public:
    void addFilter(RemoteFilter*) override {}
    void removeFilter(RemoteFilter*) override {}
    RemoteQueue& outgoing() override { std::abort(); }  // the tests build their queue themselves
    void sendMain(const MessageRecord&) override {}
    void sendMetering(const MessageRecord&) override {}
    void connectTo(const std::string&, std::int32_t) override {}
    std::uint16_t listeningPort() override { return 0; }
    bool isConnected() override { return true; }

    void queueMain(const MessageRecord& record) override
    {
        std::lock_guard lock(mutex_);
        mainBatch_.push_back(record);
        queuedMain_.push_back(record);
        changed_.notify_all();
    }
    void queueMetering(const MessageRecord& record) override
    {
        std::lock_guard lock(mutex_);
        metering_.push_back(record);
        changed_.notify_all();
    }
    void flushMetering() override {}
    // Records what the flush takes, then waits while held.
    void flushMain() override
    {
        std::unique_lock lock(mutex_);
        flushes_.push_back(std::move(mainBatch_));
        mainBatch_.clear();
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_ || passes_ > 0; });
        if (held_)
            --passes_;
    }

    // From now on each main flush waits for release() or releaseAll().
    void hold()
    {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        ++passes_;
        changed_.notify_all();
    }
    void releaseAll()
    {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    // True once `count` main flushes have begun (bounded, so a fault fails instead of hanging).
    bool awaitFlushes(std::size_t count) { return awaitUntil([&] { return flushes_.size() >= count; }); }
    bool awaitMetering(std::size_t count) { return awaitUntil([&] { return metering_.size() >= count; }); }
    bool awaitQueuedMain(std::size_t count) { return awaitUntil([&] { return queuedMain_.size() >= count; }); }

    std::vector<Records> flushes() const { std::lock_guard lock(mutex_); return flushes_; }
    Records queuedMain() const { std::lock_guard lock(mutex_); return queuedMain_; }
    Records metering() const { std::lock_guard lock(mutex_); return metering_; }

private:
    template <typename Condition>
    bool awaitUntil(Condition condition)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, condition);
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int passes_ = 0;
    Records mainBatch_, queuedMain_, metering_;
    std::vector<Records> flushes_;
};

MessageRecord sent(std::uint16_t kind, std::int32_t index, float value, std::string text = {})
{
    return {kind, index, value, std::move(text), 0};
}

std::vector<int> indexes(const Records& records)
{
    std::vector<int> out;
    for (const MessageRecord& r : records)
        out.push_back(r.index);
    return out;
}

// A queue whose worker is parked inside the flush of one record (kind 8, so
// it sorts before the tests' records), having spent one unit of budget at the
// clock's current time.
struct ParkedQueue {
    ManualClock clock;
    RecordingNode node;
    OutgoingQueue queue{&node, clock.source()};

    ParkedQueue()
    {
        node.hold();
        queue.send(sent(8, 0, 1.0f));
        EXPECT_TRUE(node.awaitFlushes(1));
    }
    ~ParkedQueue() { node.releaseAll(); }

    // Moves the clock a whole cycle on, lets the parked flush end and returns
    // what the next flush took.
    Records nextCycle()
    {
        clock.advance(OutgoingQueue::kCyclePeriod);
        std::size_t before = node.flushes().size();
        node.release();
        EXPECT_TRUE(node.awaitFlushes(before + 1));
        return node.flushes().back();
    }
};

TEST(SendBudget, AtMostFourInAnyWindowAndEachSlotComesBackAWindowAfterItsUse)
{
    const Clock::time_point t0 = Clock::time_point(1h);
    SendBudget budget(4, 10ms);
    EXPECT_EQ(budget.available(t0), 4u) << "an idle sender has the whole budget";
    EXPECT_LE(budget.nextFree(), t0);

    budget.spend(1, t0);
    budget.spend(1, t0 + 3ms);
    budget.spend(2, t0 + 5ms);
    struct Case { Clock::duration at; std::size_t available; };
    for (Case c : {Case{5ms, 0}, {9ms, 0}, {10ms, 1}, {12ms, 1}, {13ms, 2}, {15ms, 4}, {100ms, 4}}) {
        SCOPED_TRACE(c.at.count());
        EXPECT_EQ(budget.available(t0 + c.at), c.available);
    }
    EXPECT_EQ(budget.nextFree(), t0 + 10ms);
    budget.spend(1, t0 + 10ms);
    EXPECT_EQ(budget.nextFree(), t0 + 13ms);
}

TEST(OutgoingQueue, AnUpdateOnAnIdleQueueLeavesWithoutTheClockMoving)
{
    ManualClock clock;
    RecordingNode node;
    OutgoingQueue queue(&node, clock.source());
    queue.send(sent(9, 1, 0.5f));
    ASSERT_TRUE(node.awaitFlushes(1));
    EXPECT_EQ(node.flushes()[0], Records{sent(9, 1, 0.5f)});
}

TEST(OutgoingQueue, TwoSendsOfOneControlLeaveOnceWithTheSecondValueAndText)
{
    ParkedQueue parked;
    parked.queue.send({9, 1, 0.1f, "first", 1});
    parked.queue.send({9, 1, 0.2f, "second", 0});
    EXPECT_EQ(parked.nextCycle(), Records{sent(9, 1, 0.2f, "second")});
}

TEST(OutgoingQueue, EntriesAreOrderedByKindThenSignedIndex)
{
    ParkedQueue parked;
    for (auto [kind, index] : {std::pair{12, 0}, {9, 5}, {9, -1}, {9, 0}})
        parked.queue.send(sent(static_cast<std::uint16_t>(kind), index, 1.0f));
    EXPECT_EQ(parked.nextCycle(), (Records{sent(9, -1, 1.0f), sent(9, 0, 1.0f), sent(9, 5, 1.0f), sent(12, 0, 1.0f)}));
}

TEST(OutgoingQueue, ABurstLeavesFourPerCycleAndTheCursorGoesOnWhereItStopped)
{
    ParkedQueue parked;
    for (int i = 0; i < 10; ++i)
        parked.queue.send(sent(9, i, 0.5f));
    EXPECT_EQ(indexes(parked.nextCycle()), (std::vector{0, 1, 2, 3}));
    parked.queue.send(sent(9, 0, 0.75f));  // changes again while the burst drains
    EXPECT_EQ(indexes(parked.nextCycle()), (std::vector{4, 5, 6, 7}));
    Records third = parked.nextCycle();
    EXPECT_EQ(indexes(third), (std::vector{8, 9, 0}));
    EXPECT_EQ(third.back().value, 0.75f);

    // Drained, the worker sleeps: the next flush holds only the next change.
    parked.queue.send(sent(9, 5, 0.25f));
    EXPECT_EQ(parked.nextCycle(), Records{sent(9, 5, 0.25f)});
}

TEST(OutgoingQueue, TheFirstWindowsBudgetCountsTheRecordThatOpenedIt)
{
    ParkedQueue parked;  // one record left at the clock's time
    for (int i = 0; i < 10; ++i)
        parked.queue.send(sent(9, i, 0.5f));
    parked.node.release();  // the clock stays: only three more may leave
    ASSERT_TRUE(parked.node.awaitFlushes(2));
    EXPECT_EQ(indexes(parked.node.flushes()[1]), (std::vector{0, 1, 2}));
    EXPECT_EQ(indexes(parked.nextCycle()), (std::vector{3, 4, 5, 6}));
}

TEST(OutgoingQueue, MeterKindsGoToTheMeteringChannelAndNothingIsDropped)
{
    ManualClock clock;
    RecordingNode node;
    OutgoingQueue queue(&node, clock.source());
    for (int kind : {95, 96, 103, 104, int{kNothingKind}})  // four fit one window's budget
        queue.send(sent(static_cast<std::uint16_t>(kind), 0, 1.0f));
    ASSERT_TRUE(node.awaitMetering(2));
    ASSERT_TRUE(node.awaitQueuedMain(2));
    EXPECT_EQ(node.queuedMain(), (Records{sent(95, 0, 1.0f), sent(104, 0, 1.0f)}));
    EXPECT_EQ(node.metering(), (Records{sent(96, 0, 1.0f), sent(103, 0, 1.0f)}));
}

TEST(OutgoingQueue, DesktopRecordsGoAtOnceInOrderAndNeverWaitForTheBudget)
{
    ParkedQueue parked;
    for (int i = 0; i < 4; ++i)
        parked.queue.send(sent(9, i, 0.5f));  // more than the window has left
    parked.node.release();
    ASSERT_TRUE(parked.node.awaitFlushes(2));  // three of them left; the clock stays, so one waits

    Records desktop;
    for (int i = 0; i < 20; ++i) {
        desktop.push_back(MessageRecord::withText(kDesktopKind, 0, "chunk " + std::to_string(i)));
        parked.queue.send(desktop.back());
        EXPECT_EQ(parked.node.queuedMain().size(), 4 + desktop.size()) << "queued on the node by send itself";
    }
    parked.node.releaseAll();
    ASSERT_TRUE(parked.node.awaitFlushes(3));
    Records flushed;
    for (const Records& flush : parked.node.flushes())
        flushed.insert(flushed.end(), flush.begin(), flush.end());
    Records expected{sent(8, 0, 1.0f), sent(9, 0, 0.5f), sent(9, 1, 0.5f), sent(9, 2, 0.5f)};
    expected.insert(expected.end(), desktop.begin(), desktop.end());
    EXPECT_EQ(flushed, expected) << "the fourth change still waits for the budget";
}

TEST(OutgoingQueue, SendingNeverWaitsForAFlushThatDoesNotEnd)
{
    ParkedQueue parked;  // the worker stays inside the node's flush, as with a remote that stopped reading
    for (int i = 0; i < 1000; ++i) {
        parked.queue.send(sent(9, i % 16, static_cast<float>(i)));
        parked.queue.send(MessageRecord::withText(kDesktopKind, 0, "reply"));
    }
    EXPECT_EQ(parked.node.flushes().size(), 1u) << "all of it was sent while the one flush was held";
}

TEST(OutgoingQueue, WithoutATargetOrOnceStoppedEverythingIsDropped)
{
    OutgoingQueue orphan(nullptr);
    for (int kind : {9, 96, int{kDesktopKind}})
        orphan.send(sent(static_cast<std::uint16_t>(kind), 0, 1.0f));

    RecordingNode node;
    OutgoingQueue queue(&node);
    queue.stop();
    for (int kind : {9, int{kDesktopKind}})
        queue.send(sent(static_cast<std::uint16_t>(kind), 0, 1.0f));
    EXPECT_TRUE(node.queuedMain().empty());
}

}  // namespace
}  // namespace corvello
