#pragma once
// The outgoing queue to one remote-link node. Records are coalesced in a
// table shared by every queue of that node (one entry per kind and index,
// the latest value winning); a worker hands at most kRecordsPerCycle changed
// entries to the node every kCyclePeriod and flushes both channels. Desktop
// records (kind 210) skip the table and are queued on the main channel at once,
// in order. Meter kinds go to the metering channel.
//
// In the program the queues live until exit. Destroying one stops and joins
// its worker (tests rely on that); the table stays, as it belongs to the node.
// The tables and the two locks are never destroyed, because workers may still
// run while the process exits.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/RemoteQueue.h"

namespace corvello {

class RemoteNode;
struct MessageTable;

class OutgoingQueue : public RemoteQueue {
public:
    static constexpr std::size_t kRecordsPerCycle = 4;
    static constexpr std::chrono::milliseconds kCyclePeriod{10};
    static constexpr std::uint16_t kFirstMeterKind = 96;
    static constexpr std::uint16_t kLastMeterKind = 103;

    // `target` is not owned and must outlive the queue; null drops everything.
    explicit OutgoingQueue(RemoteNode* target);
    ~OutgoingQueue() override;
    OutgoingQueue(const OutgoingQueue&) = delete;
    OutgoingQueue& operator=(const OutgoingQueue&) = delete;

    void send(const MessageRecord& record) override;

    static bool isMeterKind(std::uint16_t kind) { return kind >= kFirstMeterKind && kind <= kLastMeterKind; }

private:
    void work();
    // Waits one cycle period; false once the queue is being destroyed.
    bool awaitNextCycle();
    // Hands the next changed entries (from `cursor` on, at most kRecordsPerCycle) to the node.
    void handOverChanges(std::size_t& cursor);
    void flushTarget();

    RemoteNode* const target;
    MessageTable* const table;
    std::mutex stopLock;
    std::condition_variable stopSignal;
    bool stopping = false;
    std::thread worker;
};

}  // namespace corvello
