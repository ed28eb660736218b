#include "driver/DriverClient.h"

#include "driver/InputPath.h"
#include "driver/ReadThread.h"
#include "driver/Trace.h"
#include "platform/DebugOutput.h"
#include "virtmidi/virtmidilock.h"
#include "virtmidi/virtmidiportlist.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace corvello {

namespace {

// The published list as it can be read. The driver runs inside the DAW, so
// nothing a broken list does (a reader's exception included) may leave it.
std::vector<std::string> readablePortList()
{
    try {
        return virtMidiReadPortList();
    } catch (const std::exception& error) {
        trace("the port list cannot be read: %s", error.what());
        return {};
    }
}

// The published names, read once per process. A missing list, or one of the
// wrong type, is empty: no devices.
const std::vector<std::string>& portList()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list = readablePortList();
        // A name reaching the bound is no name: it ends the list.
        const auto tooLong = std::find_if(list.begin(), list.end(), [](const std::string& name) {
            return name.size() >= virtMidiPortNameBound;
        });
        list.erase(tooLong, list.end());
        return list;
    }();
    return names;
}

// Two locks, so that nothing the read thread's callbacks may call waits for
// a close that is waiting for the read thread: `mutex` makes opening and
// closing atomic; `creationMutex` only guards the records' one creation.
// Once created the records never change or move, and their number is read
// without a lock.
struct ClientState {
    std::mutex mutex;
    int openCount = 0;
    ReadThread readThread;

    std::mutex creationMutex;
    std::unique_ptr<PortRecord[]> records;
    std::atomic<std::uint32_t> recordCount{0};
    bool recordsCreated = false;
};

ClientState& state()
{
    static ClientState* const instance = new ClientState;  // lives until the process ends
    return *instance;
}

void createPortRecords(ClientState& s)
{
    const auto count =
        static_cast<std::uint32_t>(std::min<std::size_t>(portList().size(), kMaxDevices));
    s.records = std::make_unique<PortRecord[]>(count);
    for (std::uint32_t i = 0; i < count; ++i)
        s.records[i].index = i;
    s.recordCount.store(count, std::memory_order_release);
    s.recordsCreated = true;
}

// Opens every port's pipe that is not open yet.
bool openAllPipes(ClientState& s)
{
    for (std::uint32_t i = 0; i < portRecordCount(); ++i) {
        PortRecord& record = s.records[i];
        const std::lock_guard lock(record.pipeMutex);
        if (record.pipe != kNoVirtMidiClient)
            continue;
        std::string error;
        const VirtMidiClientHandle pipe = virtMidiConnect(portList()[i], error);
        if (pipe == kNoVirtMidiClient) {
            trace("the pipe of port %u (\"%s\") cannot be opened: %s", i, portList()[i].c_str(),
                  error.c_str());
            return false;
        }
        record.pipe = pipe;
        record.parser.reset();  // a new connection is a new byte stream
    }
    return true;
}

void closeAllPipes(ClientState& s)
{
    for (std::uint32_t i = 0; i < portRecordCount(); ++i) {
        PortRecord& record = s.records[i];
        const std::lock_guard lock(record.pipeMutex);
        virtMidiClose(record.pipe);
        record.pipe = kNoVirtMidiClient;
    }
}

}  // namespace

std::uint32_t deviceCount()
{
    if (!virtMidiServerRunning()) {
        debugOutput("Warning: virtual midi server does not appear to be running\n");
        return 0;
    }
    ClientState& s = state();
    const std::lock_guard lock(s.creationMutex);
    if (!s.recordsCreated)
        createPortRecords(s);
    return portRecordCount();
}

std::uint32_t portRecordCount() { return state().recordCount.load(std::memory_order_acquire); }

PortRecord& portRecord(std::uint32_t index) { return state().records[index]; }

const std::string& portName(std::uint32_t index) { return portList()[index]; }

bool clientOpen()
{
    ClientState& s = state();
    const std::lock_guard lock(s.mutex);
    if (s.openCount++ > 0)
        return true;
    if (!openAllPipes(s) ||
        (!s.readThread.started() && !s.readThread.start(s.records.get(), portRecordCount()))) {
        // Nobody would read the pipes that did open, and the server would keep
        // writing to them: they are closed, the next open opens them afresh.
        closeAllPipes(s);
        --s.openCount;
        return false;
    }
    return true;
}

void clientClose()
{
    ClientState& s = state();
    const std::lock_guard lock(s.mutex);
    // A close without an open must not take the pipes from devices still open.
    if (s.openCount == 0 || --s.openCount > 0)
        return;
    if (s.readThread.started())
        s.readThread.stop();
    closeAllPipes(s);
}

bool clientWrite(PortRecord& record, const std::uint8_t* bytes, std::size_t count)
{
    const std::lock_guard lock(record.pipeMutex);
    return record.pipe != kNoVirtMidiClient && virtMidiWrite(record.pipe, bytes, count);
}

void clientMessageReceived(PortRecord& record, std::size_t count)
{
    runInputPath(record, record.readBuffer, count);
}

void resetPort(PortRecord& record)
{
    {
        const std::lock_guard lock(record.pipeMutex);
        virtMidiClose(record.pipe);
        record.pipe = kNoVirtMidiClient;
    }
    record.parser.reset();
    record.input.queue.clear();
    record.input.detach();
    record.output.detach();
}

bool reopenPort(PortRecord& record)
{
    const std::lock_guard lock(record.pipeMutex);
    virtMidiClose(record.pipe);
    std::string error;
    record.pipe = virtMidiConnect(portList()[record.index], error);
    record.parser.reset();
    if (record.pipe == kNoVirtMidiClient)
        trace("the pipe of port %u (\"%s\") cannot be reopened: %s", record.index,
              portList()[record.index].c_str(), error.c_str());
    return record.pipe != kNoVirtMidiClient;
}

}  // namespace corvello
