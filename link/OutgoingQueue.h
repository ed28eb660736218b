#pragma once
// The outgoing queue to one remote-link node, owned by that node. Records are
// coalesced in a table (one entry per kind and index, the latest value
// winning); a change wakes the worker, which hands changed entries to the
// node and flushes at once while the budget allows (at most kRecordsPerCycle
// records in any kCyclePeriod), going on where it stopped when a burst
// exceeds it. Desktop records (kind 210) skip the table: they are queued on
// the node's main channel at once, in order, and the worker flushes them
// without waiting for the budget. Meter kinds go to the metering channel.
// An idle queue's worker sleeps with no timer.
//
// Locks: the queue's own lock guards the table and is never held while the
// node sends, so a producer (the DAW's MIDI thread among them) never waits
// for the remote, however slow it is.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "core/RemoteQueue.h"
#include "link/SendBudget.h"

namespace corvello {

class RemoteNode;

class OutgoingQueue : public RemoteQueue {
public:
    using Clock = SendBudget::Clock;
    using TimeSource = std::function<Clock::time_point()>;

    static constexpr std::size_t kRecordsPerCycle = 4;
    static constexpr std::chrono::milliseconds kCyclePeriod{10};

    // `target` is not owned and must outlive the queue; null drops everything.
    // `now` paces the budget (tests pass a clock they move by hand).
    explicit OutgoingQueue(RemoteNode* target, TimeSource now = Clock::now);
    ~OutgoingQueue() override;
    OutgoingQueue(const OutgoingQueue&) = delete;
    OutgoingQueue& operator=(const OutgoingQueue&) = delete;

    void send(const MessageRecord& record) override;
    // Stops and joins the worker; what is still queued stays unsent and later
    // records are dropped. The owning node calls it before closing its sockets.
    void stop();

private:
    void work();
    // The changed entries that may leave at `now` under the budget, from the cursor on.
    std::vector<MessageRecord> takeDueChanges(Clock::time_point now);
    void deliver(const std::vector<MessageRecord>& changes, bool desktopQueued);
    void startWorkerIfNeeded();

    RemoteNode* const target;
    const TimeSource clock;

    std::mutex lock;  // everything below; never held across a call into the node that sends
    std::condition_variable wake;
    std::vector<MessageRecord> table;  // sorted by kind, then signed index; one entry per pair
    std::size_t cursor = 0;
    std::size_t pendingCount = 0;
    SendBudget budget{kRecordsPerCycle, kCyclePeriod};
    bool desktopQueued = false;
    bool waitingForBudget = false;  // the worker wakes by itself when the budget allows more
    bool stopping = false;
    std::thread worker;  // started by the first record
};

}  // namespace corvello
