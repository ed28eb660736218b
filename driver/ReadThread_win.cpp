#include "driver/ReadThread.h"

#include "driver/DriverClient.h"
#include "driver/Trace.h"

#include <mutex>
#include <vector>
#include <windows.h>

namespace corvello {

namespace {

// The overlapped block comes first, so the completion routine finds its port
// from the block it is given.
struct PendingRead {
    OVERLAPPED overlapped;
    PortRecord* record;
};

constexpr DWORD kStopTimeoutMs = 1000;
constexpr DWORD kTerminatedExitCode = 255;

}  // namespace

// The stop and done events are manual reset and live as long as the process.
// A thread that has not answered the stop within 1000 ms is terminated; it is
// only ever late inside the application's callback, where it holds none of
// the driver's locks, and to be sure of that every pipe and queue lock is
// taken before it is terminated and given back after. So no lock is left held
// by a dead thread.
struct ReadThread::Impl {
    HANDLE stopEvent = nullptr;
    HANDLE doneEvent = nullptr;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    bool stopping = false;  // asked from the thread itself; waited for later
    PortRecord* records = nullptr;
    std::uint32_t count = 0;
    std::vector<PendingRead> reads;  // kept until the next start: cancelled reads may still land

    static DWORD WINAPI threadMain(LPVOID self);
    static VOID CALLBACK readCompleted(DWORD error, DWORD bytes, LPOVERLAPPED overlapped);
    static bool startRead(PendingRead& read);
    DWORD run();
    void terminateHoldingEveryLock();
    void finish();
};

ReadThread::ReadThread() : impl_(std::make_unique<Impl>()) {}

ReadThread::~ReadThread()
{
    if (started())
        stop();
    if (impl_->stopping)
        impl_->finish();
    for (HANDLE event : {impl_->stopEvent, impl_->doneEvent})
        if (event != nullptr)
            CloseHandle(event);
}

bool ReadThread::started() const { return impl_->thread != nullptr && !impl_->stopping; }

bool ReadThread::start(PortRecord* records, std::uint32_t count)
{
    Impl& impl = *impl_;
    if (impl.stopping)
        impl.finish();
    if (impl.stopEvent == nullptr)
        impl.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (impl.doneEvent == nullptr)
        impl.doneEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (impl.stopEvent == nullptr || impl.doneEvent == nullptr)
        return false;
    ResetEvent(impl.stopEvent);
    ResetEvent(impl.doneEvent);
    impl.records = records;
    impl.count = count;
    impl.reads.assign(count, PendingRead{});
    for (std::uint32_t i = 0; i < count; ++i)
        impl.reads[i].record = &records[i];
    impl.thread = CreateThread(nullptr, 0, &Impl::threadMain, &impl, 0, &impl.threadId);
    return impl.thread != nullptr;
}

void ReadThread::stop()
{
    Impl& impl = *impl_;
    SetEvent(impl.stopEvent);
    if (GetCurrentThreadId() == impl.threadId) {
        impl.stopping = true;
        return;
    }
    DWORD exitCode = 0;
    if (WaitForSingleObject(impl.doneEvent, kStopTimeoutMs) == WAIT_TIMEOUT &&
        GetExitCodeThread(impl.thread, &exitCode) && exitCode == STILL_ACTIVE)
        impl.terminateHoldingEveryLock();
    // After saying it is done the thread still runs a few instructions of this
    // library; the library may be unloaded as soon as the last device closes.
    impl.finish();
}

// The thread ends on its own once asked (it holds no lock and is in no
// callback by then); waiting for its exit lets the library be unloaded.
void ReadThread::Impl::finish()
{
    WaitForSingleObject(thread, kStopTimeoutMs);
    CloseHandle(thread);
    thread = nullptr;
    threadId = 0;
    stopping = false;
}

DWORD WINAPI ReadThread::Impl::threadMain(LPVOID self) { return static_cast<Impl*>(self)->run(); }

DWORD ReadThread::Impl::run()
{
    for (PendingRead& read : reads) {
        if (!startRead(read)) {
            SetEvent(doneEvent);
            return 1;
        }
    }
    // Completion routines run inside this wait.
    while (WaitForSingleObjectEx(stopEvent, INFINITE, TRUE) == WAIT_IO_COMPLETION) {
    }
    for (std::uint32_t i = 0; i < count; ++i)
        if (records[i].pipe != kNoVirtMidiClient)
            CancelIo(reinterpret_cast<HANDLE>(records[i].pipe));
    SetEvent(doneEvent);
    return 0;
}

// A message longer than the buffer already waiting makes ReadFileEx fail with
// ERROR_MORE_DATA and still queue the completion routine, which then resets
// the port; so that is not a failure to start.
bool ReadThread::Impl::startRead(PendingRead& read)
{
    read.overlapped = OVERLAPPED{};
    const auto pipe = reinterpret_cast<HANDLE>(read.record->pipe);
    if (ReadFileEx(pipe, read.record->readBuffer, sizeof read.record->readBuffer,
                   &read.overlapped, &Impl::readCompleted) ||
        GetLastError() == ERROR_MORE_DATA)
        return true;
    trace("port %u: a read cannot start (error %lu)", read.record->index,
          static_cast<unsigned long>(GetLastError()));
    return false;
}

VOID CALLBACK ReadThread::Impl::readCompleted(DWORD error, DWORD bytes, LPOVERLAPPED overlapped)
{
    PendingRead& read = *reinterpret_cast<PendingRead*>(overlapped);
    if (error != ERROR_SUCCESS || bytes == 0) {
        if (error == ERROR_SUCCESS)
            trace("port %u: an empty message; the port is cut off", read.record->index);
        else
            trace("port %u: the read ended with error %lu; the port is cut off",
                  read.record->index, static_cast<unsigned long>(error));
        resetPort(*read.record);
        return;
    }
    clientMessageReceived(*read.record, bytes);
    if (startRead(read))
        return;
    // Rather than leave the port silent until the next open, the pipe is
    // opened afresh; a port that cannot be reopened is cut off like a
    // broken pipe.
    if (!reopenPort(*read.record) || !startRead(read)) {
        trace("port %u: no read after reopening; the port is cut off", read.record->index);
        resetPort(*read.record);
    }
}

void ReadThread::Impl::terminateHoldingEveryLock()
{
    std::vector<std::unique_lock<std::mutex>> held;
    for (std::uint32_t i = 0; i < count; ++i) {
        held.emplace_back(records[i].pipeMutex);
        held.emplace_back(records[i].input.queue.mutex());
        held.emplace_back(records[i].output.queue.mutex());
    }
    TerminateThread(thread, kTerminatedExitCode);
    WaitForSingleObject(thread, INFINITE);
}

}  // namespace corvello
