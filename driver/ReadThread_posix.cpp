#include "driver/ReadThread.h"

#include "driver/DriverClient.h"
#include "driver/Trace.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace corvello {

// The stop event is a pipe the thread polls along with the ports; the done
// event a flag under a mutex. A thread that does not answer within 1000 ms can
// only be late inside the host's callback: POSIX has no safe way to end it
// there, so stop() says so on the debugger output and waits on.
struct ReadThread::Impl {
    int stopPipe[2] = {-1, -1};
    std::thread thread;
    bool stopping = false;  // asked from the thread itself; joined later
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;

    void run(PortRecord* records, std::uint32_t count);
    void readPort(PortRecord& record);
    void signalDone();
    void finish();
};

ReadThread::ReadThread() : impl_(std::make_unique<Impl>())
{
    if (pipe2(impl_->stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        impl_->stopPipe[0] = impl_->stopPipe[1] = -1;
}

ReadThread::~ReadThread()
{
    if (started())
        stop();
    if (impl_->stopping)
        impl_->finish();
    for (int fd : impl_->stopPipe)
        if (fd >= 0)
            close(fd);
}

bool ReadThread::started() const { return impl_->thread.joinable() && !impl_->stopping; }

bool ReadThread::start(PortRecord* records, std::uint32_t count)
{
    if (impl_->stopPipe[0] < 0)
        return false;
    if (impl_->stopping)
        impl_->finish();
    impl_->done = false;
    impl_->thread = std::thread([this, records, count] { impl_->run(records, count); });
    return true;
}

void ReadThread::stop()
{
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = write(impl_->stopPipe[1], &wake, 1);
    if (impl_->thread.get_id() == std::this_thread::get_id()) {
        impl_->stopping = true;
        return;
    }
    {
        std::unique_lock lock(impl_->doneMutex);
        if (!impl_->doneChanged.wait_for(lock, std::chrono::milliseconds(1000),
                                         [this] { return impl_->done; }))
            trace("the read thread is late to stop (inside the application's callback); "
                  "waiting for it");
    }
    impl_->finish();
}

void ReadThread::Impl::finish()
{
    thread.join();
    stopping = false;
    char drained;
    while (read(stopPipe[0], &drained, 1) == 1) {
    }
}

void ReadThread::Impl::run(PortRecord* records, std::uint32_t count)
{
    std::vector<pollfd> polled;
    std::vector<PortRecord*> polledRecords;
    for (;;) {
        polled.assign(1, pollfd{stopPipe[0], POLLIN, 0});
        polledRecords.assign(1, nullptr);
        for (std::uint32_t i = 0; i < count; ++i) {
            // Only this thread and clientClose (after stopping it) change pipes
            // while the thread runs, so this read needs no lock.
            if (records[i].pipe != kNoVirtMidiClient) {
                polled.push_back(pollfd{static_cast<int>(records[i].pipe), POLLIN, 0});
                polledRecords.push_back(&records[i]);
            }
        }
        if (poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (polled[0].revents != 0)
            break;
        for (std::size_t i = 1; i < polled.size(); ++i)
            if (polled[i].revents != 0)
                readPort(*polledRecords[i]);
    }
    signalDone();
}

// poll() said the socket is readable, so the read does not wait. A failed
// read, an empty message or one over the buffer ends the connection.
void ReadThread::Impl::readPort(PortRecord& record)
{
    std::string endReason;
    if (const auto received = virtMidiRead(record.pipe, record.readBuffer, endReason)) {
        clientMessageReceived(record, *received);
        return;
    }
    trace("port %u: %s; the port is cut off", record.index, endReason.c_str());
    resetPort(record);
}

void ReadThread::Impl::signalDone()
{
    const std::lock_guard lock(doneMutex);
    done = true;
    doneChanged.notify_all();
}

}  // namespace corvello
