// The virtual MIDI server over overlapped message pipes: one thread keeps a
// listening instance per port (an overlapped connect whose event is in the
// thread's wait list) and reads every client through ReadFileEx completion
// routines, which run inside its alertable wait.
//
// Decisions:
// - The listening instances are made by the server thread before start
//   returns, so a client may connect as soon as start reports success.
// - The per-port connection lists are changed only on the server thread,
//   under `connectionsMutex`. A send holds the same mutex while it writes,
//   so it never writes to a connection that is being freed. The receiver is
//   called without the mutex held: it may send from inside the receive path.
// - A send waits for each write through its own OVERLAPPED and event, at
//   most kSendTimeoutMs. A write still pending then is cancelled: that client
//   loses the message (reported once), and until one of its writes completes
//   again it is not waited for at all.
// - A listening instance that cannot be made, or a connect that fails in any
//   other way than the two expected ones, is reported and retried after a
//   pause; a client whose connect fails, or whose record cannot be allocated,
//   is dropped alone. The port is never left dead and never spins.
// - Stop ends the thread through the stop event; the thread closes the
//   listening instances and every connection first.
// - A wait covers at most 64 objects, one of them the stop event, so at most
//   63 ports are served.

#include "virtmidi/virtmidipipeserver.h"

#include <windows.h>

#include <algorithm>
#include <list>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/DebugOutput.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

namespace {

constexpr DWORD kRetryPauseMs = 250;
constexpr DWORD kSendTimeoutMs = 100;
constexpr DWORD kStopDrainMs = 2000;

void report(const std::string& text) { debugOutput(("Virtual MIDI: " + text + "\n").c_str()); }

// One connected client. The overlapped block comes first, so the completion
// routine can take the block's address for the record's.
struct PipeConnection {
    OVERLAPPED overlapped;
    HANDLE pipe;
    std::int32_t port;
    std::uint8_t buffer[virtMidiServerReadSize];
    bool stalled;  // senders only, under the connections mutex
};
static_assert(offsetof(PipeConnection, overlapped) == 0);

// The server thread's state for one port.
struct ListeningPort {
    std::string name;
    std::string pipeName;
    HANDLE connectEvent = nullptr;
    OVERLAPPED connect{};
    HANDLE instance = INVALID_HANDLE_VALUE;
    bool pending = false;
    bool needsInstance = false;
    ULONGLONG retryAt = 0;
};

// A manual-reset event per sending thread, for waiting on one write.
HANDLE sendEvent()
{
    struct Event {
        HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ~Event() { CloseHandle(handle); }
    };
    thread_local Event event;
    return event.handle;
}

class OverlappedPipeServer final : public VirtMidiPipeServer {
public:
    std::size_t maxPorts() const override { return MAXIMUM_WAIT_OBJECTS - 1; }
    bool start(const std::vector<std::string>& portNames, VirtMidiReceiver receiver,
               void* context) override;
    void send(std::int32_t port, const std::uint8_t* bytes, std::int32_t length) override;
    std::size_t clientCount(std::int32_t port) override;
    void stop() override;

    void onReadComplete(PipeConnection* connection, DWORD error, DWORD bytes);

private:
    static DWORD WINAPI threadMain(void* self);
    void run();
    void openPorts();
    void listen(ListeningPort& port);
    void awaitRetry(ListeningPort& port);
    void closeInstance(ListeningPort& port);
    void acceptClient(std::int32_t index);
    void retryDuePorts();
    DWORD nextTimeoutMs() const;
    bool startRead(PipeConnection* connection);
    void disconnectAndClose(PipeConnection* connection);
    void write(PipeConnection* connection, const std::uint8_t* bytes, DWORD length);
    void closeEverything();
    bool anyConnections();

    VirtMidiReceiver receiver_ = nullptr;
    void* context_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    HANDLE readyEvent_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;

    // Server thread only.
    std::vector<ListeningPort> ports_;
    bool stopping_ = false;

    std::mutex connectionsMutex_;
    std::vector<std::list<PipeConnection*>> connections_;
};

OverlappedPipeServer& server();

void CALLBACK onPipeReadComplete(DWORD error, DWORD bytes, OVERLAPPED* overlapped)
{
    server().onReadComplete(reinterpret_cast<PipeConnection*>(overlapped), error, bytes);
}

bool OverlappedPipeServer::start(const std::vector<std::string>& portNames,
                                 VirtMidiReceiver receiver, void* context)
{
    ports_.assign(portNames.size(), {});
    for (std::size_t i = 0; i < portNames.size(); ++i) {
        ports_[i].name = portNames[i];
        ports_[i].pipeName = virtMidiPipeName(portNames[i]);
    }
    {
        std::lock_guard connections(connectionsMutex_);
        connections_.assign(portNames.size(), {});
    }
    if (stopEvent_ == nullptr)
        stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, "virtMidiServerThreadRequestStop");
    readyEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent_ == nullptr || readyEvent_ == nullptr) {
        report("cannot create the server's events, error " + std::to_string(GetLastError()));
        return false;
    }
    ResetEvent(stopEvent_);
    receiver_ = receiver;
    context_ = context;
    stopping_ = false;
    thread_ = CreateThread(nullptr, 0, &OverlappedPipeServer::threadMain, this, 0, &threadId_);
    if (thread_ == nullptr) {
        report("cannot start the server thread, error " + std::to_string(GetLastError()));
        CloseHandle(readyEvent_);
        return false;
    }
    const HANDLE startup[] = {readyEvent_, thread_};
    WaitForMultipleObjects(2, startup, FALSE, INFINITE);
    CloseHandle(readyEvent_);
    readyEvent_ = nullptr;
    return true;
}

DWORD WINAPI OverlappedPipeServer::threadMain(void* self)
{
    static_cast<OverlappedPipeServer*>(self)->run();
    return 0;
}

void OverlappedPipeServer::openPorts()
{
    for (ListeningPort& port : ports_) {
        port.connectEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        port.connect.hEvent = port.connectEvent;
        listen(port);
    }
}

// Makes a fresh listening instance and starts its connect. A client that
// slipped in before the connect call is taken by setting the event here.
void OverlappedPipeServer::listen(ListeningPort& port)
{
    port.pending = false;
    port.needsInstance = false;
    const HANDLE instance = CreateNamedPipeA(
        port.pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
        virtMidiPipeBufferSize, virtMidiPipeBufferSize, virtMidiPipeTimeoutMs, nullptr);
    if (instance == INVALID_HANDLE_VALUE) {
        report("cannot create a pipe instance of port \"" + port.name + "\", error " +
               std::to_string(GetLastError()) + "; retrying");
        awaitRetry(port);
        return;
    }
    port.instance = instance;
    port.connect = OVERLAPPED{};
    port.connect.hEvent = port.connectEvent;
    ResetEvent(port.connectEvent);
    if (ConnectNamedPipe(instance, &port.connect)) {
        SetEvent(port.connectEvent);
        return;
    }
    switch (const DWORD error = GetLastError()) {
    case ERROR_PIPE_CONNECTED:
        SetEvent(port.connectEvent);
        return;
    case ERROR_IO_PENDING:
        port.pending = true;
        return;
    default:
        report("cannot listen on port \"" + port.name + "\", error " + std::to_string(error) +
               "; retrying");
        closeInstance(port);
        awaitRetry(port);
    }
}

void OverlappedPipeServer::awaitRetry(ListeningPort& port)
{
    ResetEvent(port.connectEvent);
    port.needsInstance = true;
    port.retryAt = GetTickCount64() + kRetryPauseMs;
}

void OverlappedPipeServer::closeInstance(ListeningPort& port)
{
    if (port.instance == INVALID_HANDLE_VALUE)
        return;
    CancelIo(port.instance);
    CloseHandle(port.instance);
    port.instance = INVALID_HANDLE_VALUE;
    port.pending = false;
}

void OverlappedPipeServer::retryDuePorts()
{
    const ULONGLONG now = GetTickCount64();
    for (ListeningPort& port : ports_)
        if (port.needsInstance && port.retryAt <= now)
            listen(port);
}

DWORD OverlappedPipeServer::nextTimeoutMs() const
{
    DWORD timeout = INFINITE;
    const ULONGLONG now = GetTickCount64();
    for (const ListeningPort& port : ports_)
        if (port.needsInstance)
            timeout = std::min<DWORD>(timeout, port.retryAt > now ? DWORD(port.retryAt - now) : 0);
    return timeout;
}

void OverlappedPipeServer::run()
{
    openPorts();
    SetEvent(readyEvent_);
    std::vector<HANDLE> waitList;
    for (const ListeningPort& port : ports_)
        waitList.push_back(port.connectEvent);
    waitList.push_back(stopEvent_);
    const DWORD count = static_cast<DWORD>(waitList.size());
    for (;;) {
        const DWORD result =
            WaitForMultipleObjectsEx(count, waitList.data(), FALSE, nextTimeoutMs(), TRUE);
        if (result == WAIT_IO_COMPLETION)
            continue;
        if (result == WAIT_TIMEOUT) {
            retryDuePorts();
            continue;
        }
        if (result < WAIT_OBJECT_0 + count - 1) {
            acceptClient(static_cast<std::int32_t>(result - WAIT_OBJECT_0));
            continue;
        }
        if (result == WAIT_FAILED)
            report("the server's wait failed, error " + std::to_string(GetLastError()));
        break;
    }
    closeEverything();
}

void OverlappedPipeServer::acceptClient(std::int32_t index)
{
    ListeningPort& port = ports_[index];
    DWORD ignored = 0;
    if (port.pending && !GetOverlappedResult(port.instance, &port.connect, &ignored, FALSE)) {
        report("a client of port \"" + port.name + "\" failed to connect, error " +
               std::to_string(GetLastError()));
        closeInstance(port);
        listen(port);
        return;
    }
    auto* connection = new (std::nothrow) PipeConnection{};
    if (connection == nullptr) {
        report("no memory for a client of port \"" + port.name + "\"; dropped");
        closeInstance(port);
        listen(port);
        return;
    }
    connection->pipe = port.instance;
    connection->port = index;
    port.instance = INVALID_HANDLE_VALUE;
    {
        std::lock_guard connections(connectionsMutex_);
        connections_[index].push_back(connection);
    }
    // The next client finds no instance until this one listens: make it first.
    listen(port);
    if (!startRead(connection))
        disconnectAndClose(connection);
}

bool OverlappedPipeServer::startRead(PipeConnection* connection)
{
    if (ReadFileEx(connection->pipe, connection->buffer, sizeof connection->buffer,
                   &connection->overlapped, &onPipeReadComplete))
        return true;
    // Wine refuses an already queued oversize message this way, yet still
    // queues the completion routine, which then ends the connection.
    return GetLastError() == ERROR_MORE_DATA;
}

void OverlappedPipeServer::onReadComplete(PipeConnection* connection, DWORD error, DWORD bytes)
{
    if (error == ERROR_SUCCESS && bytes != 0 && !stopping_) {
        receiver_(context_, connection->port, connection->buffer, static_cast<std::int32_t>(bytes));
        if (startRead(connection))
            return;
    }
    if (error == ERROR_MORE_DATA)
        report("a client of port \"" + ports_[connection->port].name + "\" sent more than " +
               std::to_string(sizeof connection->buffer) + " bytes; disconnected");
    disconnectAndClose(connection);
}

void OverlappedPipeServer::disconnectAndClose(PipeConnection* connection)
{
    {
        std::lock_guard connections(connectionsMutex_);
        connections_[connection->port].remove(connection);
        DisconnectNamedPipe(connection->pipe);
        CloseHandle(connection->pipe);
    }
    delete connection;
}

bool OverlappedPipeServer::anyConnections()
{
    std::lock_guard connections(connectionsMutex_);
    return std::any_of(connections_.begin(), connections_.end(),
                       [](const auto& list) { return !list.empty(); });
}

// Cancelled reads still complete through their routines, which free the
// records; they only run in an alertable wait, so wait for them here.
void OverlappedPipeServer::closeEverything()
{
    stopping_ = true;
    for (ListeningPort& port : ports_) {
        closeInstance(port);
        CloseHandle(port.connectEvent);
    }
    {
        std::lock_guard connections(connectionsMutex_);
        for (const auto& list : connections_)
            for (PipeConnection* connection : list)
                CancelIo(connection->pipe);
    }
    const ULONGLONG deadline = GetTickCount64() + kStopDrainMs;
    while (anyConnections() && GetTickCount64() < deadline)
        SleepEx(10, TRUE);
    if (anyConnections())
        report("some client reads did not end at stop; their records are left alone");
    ports_.clear();
}

void OverlappedPipeServer::write(PipeConnection* connection, const std::uint8_t* bytes, DWORD length)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = sendEvent();
    DWORD written = 0;
    if (WriteFile(connection->pipe, bytes, length, nullptr, &overlapped)) {
        connection->stalled = false;
        return;
    }
    if (GetLastError() != ERROR_IO_PENDING)
        return;  // a client that went away is dropped by its failing read
    const DWORD patience = connection->stalled ? 0 : kSendTimeoutMs;
    if (WaitForSingleObject(overlapped.hEvent, patience) == WAIT_TIMEOUT) {
        CancelIoEx(connection->pipe, &overlapped);
        if (!connection->stalled)
            report("a client of port " + std::to_string(connection->port) +
                   " is not reading; messages for it are dropped");
        connection->stalled = true;
    }
    // Also waits out a cancel: the block lives on this stack.
    if (GetOverlappedResult(connection->pipe, &overlapped, &written, TRUE))
        connection->stalled = false;
}

void OverlappedPipeServer::send(std::int32_t port, const std::uint8_t* bytes, std::int32_t length)
{
    std::lock_guard connections(connectionsMutex_);
    if (port < 0 || static_cast<std::size_t>(port) >= connections_.size())
        return;
    for (PipeConnection* connection : connections_[port])
        write(connection, bytes, static_cast<DWORD>(length));
}

void OverlappedPipeServer::stop()
{
    if (thread_ == nullptr)
        return;
    SetEvent(stopEvent_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
    {
        std::lock_guard connections(connectionsMutex_);
        connections_.clear();
    }
}

std::size_t OverlappedPipeServer::clientCount(std::int32_t port)
{
    std::lock_guard connections(connectionsMutex_);
    if (port < 0 || static_cast<std::size_t>(port) >= connections_.size())
        return 0;
    return connections_[port].size();
}

OverlappedPipeServer& server()
{
    static auto* instance = new OverlappedPipeServer;
    return *instance;
}

}  // namespace

VirtMidiPipeServer& virtMidiPipeServer() { return server(); }

}  // namespace corvello
