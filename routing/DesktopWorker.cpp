#include "routing/DesktopWorker.h"

#include "platform/Log.h"

namespace corvello {

DesktopWorker::DesktopWorker(std::unique_ptr<DesktopCommands> controller)
    : controller_(std::move(controller)), thread_([this] { run(); })
{
}

DesktopWorker::~DesktopWorker()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void DesktopWorker::receive(const MessageRecord& record) { post({false, record, 0, nullptr}); }

void DesktopWorker::setHost(std::int32_t hostSelector, RemoteQueue* queue) { post({true, {}, hostSelector, queue}); }

void DesktopWorker::post(Job job)
{
    static log::RateLimitedLog dropped;
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        // A host change is never dropped: later replies must use the new queue.
        if (!job.hostChange && pending_.size() >= kMaxPending) {
            dropped("desktop: %zu commands waiting; command %d from the remote dropped", pending_.size(),
                    job.command.index);
            return;
        }
        pending_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void DesktopWorker::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (stopping_)
            return;
        Job job = std::move(pending_.front());
        pending_.pop_front();
        lock.unlock();
        if (job.hostChange)
            controller_->setHost(job.hostSelector, job.queue);
        else
            controller_->receive(job.command);
        lock.lock();
    }
}

}  // namespace corvello
