#include "driver/DriverClient.h"

#include "driver/InputPath.h"
#include "driver/ReadThread.h"
#include "driver/Trace.h"
#include "platform/DebugOutput.h"
#include "virtmidi/virtmidilock.h"
#include "virtmidi/virtmidiportlist.h"

#include <algorithm>
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
        trace("portList: the port list cannot be read: %s\n", error.what());
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

struct ClientState {
    std::mutex mutex;
    std::unique_ptr<PortRecord[]> records;
    std::uint32_t recordCount = 0;  // fixed once records exist
    bool recordsCreated = false;
    int openCount = 0;
    ReadThread readThread;
};

ClientState& state()
{
    static ClientState* const instance = new ClientState;  // lives until the process ends
    return *instance;
}

void createPortRecords(ClientState& s)
{
    s.recordCount = static_cast<std::uint32_t>(std::min<std::size_t>(portList().size(), kMaxDevices));
    s.records = std::make_unique<PortRecord[]>(s.recordCount);
    for (std::uint32_t i = 0; i < s.recordCount; ++i)
        s.records[i].index = i;
    s.recordsCreated = true;
}

// Opens every port's pipe that is not open yet.
bool _midiPipesOpen(ClientState& s)
{
    for (std::uint32_t i = 0; i < s.recordCount; ++i) {
        PortRecord& record = s.records[i];
        const std::lock_guard lock(record.pipeMutex);
        if (record.pipe != kInvalidPipe)
            continue;
        int error = 0;
        const PipeHandle pipe = openPortPipe(portList()[i], error);
        if (pipe == kInvalidPipe) {
            trace("%s(%d):- ERROR: _midiPipesOpen() failed to open pipe (GetLastError() = %d)\n",
                  "virtmidiclient", 304, error);
            return false;
        }
        record.pipe = pipe;
        record.parser.reset();  // a new connection is a new byte stream
    }
    return true;
}

void closeAllPipes(ClientState& s)
{
    for (std::uint32_t i = 0; i < s.recordCount; ++i) {
        PortRecord& record = s.records[i];
        const std::lock_guard lock(record.pipeMutex);
        closePortPipe(record.pipe);
        record.pipe = kInvalidPipe;
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
    const std::lock_guard lock(s.mutex);
    if (!s.recordsCreated)
        createPortRecords(s);
    return s.recordCount;
}

std::uint32_t portRecordCount()
{
    ClientState& s = state();
    const std::lock_guard lock(s.mutex);
    return s.recordCount;
}

PortRecord& portRecord(std::uint32_t index) { return state().records[index]; }

const std::string& portName(std::uint32_t index) { return portList()[index]; }

bool clientOpen()
{
    ClientState& s = state();
    const std::lock_guard lock(s.mutex);
    if (s.openCount++ > 0)
        return true;
    if (!_midiPipesOpen(s) ||
        (!s.readThread.started() && !s.readThread.start(s.records.get(), s.recordCount))) {
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
    return record.pipe != kInvalidPipe && writePortPipe(record.pipe, bytes, count);
}

void clientMessageReceived(PortRecord& record, std::size_t count)
{
    runInputPath(record, record.readBuffer, count);
}

void resetPort(PortRecord& record)
{
    {
        const std::lock_guard lock(record.pipeMutex);
        closePortPipe(record.pipe);
        record.pipe = kInvalidPipe;
    }
    record.parser.reset();
    for (PortSide* side : {&record.input, &record.output}) {
        side->queue.clear();
        side->client.store(nullptr, std::memory_order_release);
    }
}

}  // namespace corvello
