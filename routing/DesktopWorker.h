#pragma once
// Runs a desktop controller's commands on a thread of their own. Some
// commands wait 150 to 200 ms for the desktop to settle; on the link thread
// that would hold up every record behind them. One worker runs the commands
// one at a time in arrival order, so their replies leave in order too, and a
// host change reaches the controller between the commands it came between.
//
// What the remote may pile up is bounded: beyond kMaxPending waiting jobs new
// commands are dropped (with a rate-limited warning) rather than growing
// without end. Destruction finishes the job in hand, drops the rest, joins the
// thread and only then destroys the controller.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "core/DesktopCommands.h"
#include "core/MessageRecord.h"

namespace corvello {

class DesktopWorker final : public DesktopCommands {
public:
    static constexpr std::size_t kMaxPending = 1024;

    explicit DesktopWorker(std::unique_ptr<DesktopCommands> controller);
    ~DesktopWorker() override;
    DesktopWorker(const DesktopWorker&) = delete;
    DesktopWorker& operator=(const DesktopWorker&) = delete;

    // Both return at once; the controller sees them on the worker's thread.
    void receive(const MessageRecord& record) override;
    void setHost(std::int32_t hostSelector, RemoteQueue* queue) override;

private:
    struct Job {
        bool hostChange = false;
        MessageRecord command;
        std::int32_t hostSelector = 0;
        RemoteQueue* queue = nullptr;
    };

    void post(Job job);
    void run();

    std::unique_ptr<DesktopCommands> controller_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> pending_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace corvello
