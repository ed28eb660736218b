#include "routing/OutgoingQueue.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "core/RemoteNode.h"

namespace corvello {

// Sorted by kind, then signed index; one entry per pair.
struct MessageTable {
    std::vector<MessageRecord> entries;

    void upsert(const MessageRecord& record)
    {
        auto key = [](const MessageRecord& r) { return std::tuple(r.kind, r.index); };
        auto at = std::lower_bound(entries.begin(), entries.end(), record,
                                   [&](const MessageRecord& a, const MessageRecord& b) { return key(a) < key(b); });
        if (at == entries.end() || key(*at) != key(record))
            at = entries.insert(at, record);
        else
            *at = record;
        at->pending = 1;
    }
};

namespace {

// Shared by every queue in the process; deliberately never destroyed.
struct QueueShared {
    std::mutex tableLock;  // any table's contents; taken before sendLock
    std::mutex sendLock;   // desktop records and the per-cycle flushes
    std::map<RemoteNode*, MessageTable> tables;
};

QueueShared& shared()
{
    static QueueShared* instance = new QueueShared;
    return *instance;
}

MessageTable* tableFor(RemoteNode* target)
{
    std::lock_guard lock(shared().tableLock);
    return &shared().tables[target];
}

}  // namespace

OutgoingQueue::OutgoingQueue(RemoteNode* target)
    : target(target), table(tableFor(target)), worker([this] { work(); })
{
}

OutgoingQueue::~OutgoingQueue()
{
    {
        std::lock_guard lock(stopLock);
        stopping = true;
    }
    stopSignal.notify_all();
    worker.join();
}

void OutgoingQueue::send(const MessageRecord& record)
{
    std::lock_guard tableLock(shared().tableLock);
    if (record.kind == kDesktopKind) {
        std::lock_guard sendLock(shared().sendLock);
        if (target)
            target->queueMain(record);
    } else if (record.kind != kNothingKind) {
        table->upsert(record);
    }
}

void OutgoingQueue::work()
{
    std::fprintf(stderr, "***************************************entering thread! (%x) %x\n",
                 static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(table)),
                 static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(target)));
    std::size_t cursor = 0;
    do {
        handOverChanges(cursor);
        flushTarget();
    } while (awaitNextCycle());
}

bool OutgoingQueue::awaitNextCycle()
{
    std::unique_lock lock(stopLock);
    return !stopSignal.wait_for(lock, kCyclePeriod, [this] { return stopping; });
}

void OutgoingQueue::handOverChanges(std::size_t& cursor)
{
    std::lock_guard lock(shared().tableLock);
    std::size_t count = table->entries.size();
    std::size_t handed = 0;
    for (std::size_t visited = 0; visited < count && handed < kRecordsPerCycle; ++visited) {
        MessageRecord& entry = table->entries[cursor];
        cursor = (cursor + 1) % count;
        if (!entry.pending)
            continue;
        entry.pending = 0;
        ++handed;
        if (!target)
            continue;
        if (isMeterKind(entry.kind))
            target->queueMetering(entry);
        else
            target->queueMain(entry);
    }
}

void OutgoingQueue::flushTarget()
{
    if (!target)
        return;
    std::lock_guard lock(shared().sendLock);
    target->flushMain();
    target->flushMetering();
}

}  // namespace corvello
