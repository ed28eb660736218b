#include "link/OutgoingQueue.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "core/RemoteNode.h"

namespace corvello {

namespace {

auto tableKey(const MessageRecord& record) { return std::tuple(record.kind, record.index); }

// Stores the record as its key's entry, marked pending; true if the key had no change waiting yet.
bool upsert(std::vector<MessageRecord>& table, const MessageRecord& record)
{
    auto at = std::lower_bound(table.begin(), table.end(), record,
                               [](const MessageRecord& a, const MessageRecord& b) { return tableKey(a) < tableKey(b); });
    bool wasPending = false;
    if (at == table.end() || tableKey(*at) != tableKey(record)) {
        at = table.insert(at, record);
    } else {
        wasPending = at->pending != 0;
        *at = record;
    }
    at->pending = 1;
    return !wasPending;
}

}  // namespace

OutgoingQueue::OutgoingQueue(RemoteNode* target, TimeSource now) : target(target), clock(std::move(now)) {}

OutgoingQueue::~OutgoingQueue() { stop(); }

void OutgoingQueue::stop()
{
    {
        std::lock_guard guard(lock);
        stopping = true;
    }
    wake.notify_all();
    if (worker.joinable())
        worker.join();
}

void OutgoingQueue::send(const MessageRecord& record)
{
    if (!target || record.kind == kNothingKind)
        return;
    std::lock_guard guard(lock);
    if (stopping)
        return;
    bool wakeWorker = false;
    if (record.kind == kDesktopKind) {
        // Under the queue's lock so records of concurrent senders reach the node in the order they took it.
        target->queueMain(record);
        desktopQueued = true;
        wakeWorker = true;
    } else if (upsert(table, record)) {
        ++pendingCount;
        wakeWorker = !waitingForBudget;
    }
    startWorkerIfNeeded();
    if (wakeWorker)
        wake.notify_one();
}

void OutgoingQueue::startWorkerIfNeeded()
{
    if (!worker.joinable())
        worker = std::thread([this] { work(); });
}

void OutgoingQueue::work()
{
    std::unique_lock guard(lock);
    while (!stopping) {
        Clock::time_point at = clock();
        std::vector<MessageRecord> changes = takeDueChanges(at);
        if (!changes.empty() || desktopQueued) {
            bool desktop = std::exchange(desktopQueued, false);
            guard.unlock();
            deliver(changes, desktop);
            guard.lock();
        } else if (pendingCount > 0) {
            waitingForBudget = true;
            wake.wait_for(guard, budget.nextFree() - at);
            waitingForBudget = false;
        } else {
            wake.wait(guard);
        }
    }
}

std::vector<MessageRecord> OutgoingQueue::takeDueChanges(Clock::time_point at)
{
    std::vector<MessageRecord> due;
    if (pendingCount == 0)
        return due;
    std::size_t allowed = budget.available(at);
    for (std::size_t visited = 0; visited < table.size() && due.size() < allowed; ++visited) {
        MessageRecord& entry = table[cursor];
        cursor = (cursor + 1) % table.size();
        if (!entry.pending)
            continue;
        entry.pending = 0;
        due.push_back(entry);
    }
    pendingCount -= due.size();
    budget.spend(due.size(), at);
    return due;
}

void OutgoingQueue::deliver(const std::vector<MessageRecord>& changes, bool desktop)
{
    bool anyMain = desktop, anyMetering = false;
    for (const MessageRecord& record : changes) {
        if (isMeterKind(record.kind)) {
            target->queueMetering(record);
            anyMetering = true;
        } else {
            target->queueMain(record);
            anyMain = true;
        }
    }
    if (anyMain)
        target->flushMain();
    if (anyMetering)
        target->flushMetering();
}

}  // namespace corvello
