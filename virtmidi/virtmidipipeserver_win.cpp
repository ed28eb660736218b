// The virtual MIDI server over overlapped message pipes: one thread keeps a
// listening instance per port (an overlapped connect whose event is in the
// thread's wait list), reads every client through ReadFileEx and writes to
// every client through WriteFileEx, whose completion routines run inside its
// alertable wait.
//
// Decisions:
// - The listening instances are made by the server thread before start
//   returns, so a client may connect as soon as start reports success.
// - The per-port connection lists are changed only on the server thread,
//   under `connectionsMutex`, which also guards every connection's backlog.
//   The receiver is called without the mutex held: it may send from inside
//   the receive path.
// - A send never waits: it appends the message to each client's backlog and
//   asks the server thread (by an APC) to write. The server thread keeps one
//   write in flight per client and starts the next when it completes. A
//   client is "not reading" only when a write to it has not completed for
//   kPatienceMs or its backlog would pass its bound; its backlog is dropped,
//   as is every message sent while that write still waits, until it
//   completes. Nobody else waits for it.
// - Every pipe, like the mutex and the key, admits this user at any
//   integrity level and nobody else, and refuses remote clients. A port's
//   first instance is made with FILE_FLAG_FIRST_PIPE_INSTANCE: when another
//   process already has that name, the port is refused, never shared.
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
#include <climits>
#include <cstddef>
#include <list>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/Log.h"
#include "virtmidi/virtmidibacklog.h"
#include "virtmidi/virtmidiprotocol.h"
#include "virtmidi/virtmidisecurity_win.h"

namespace corvello {

namespace {

constexpr DWORD kRetryPauseMs = 250;
constexpr ULONGLONG kPatienceMs = 1000;
constexpr DWORD kStopDrainMs = 2000;

struct PipeConnection;

// One overlapped operation of a connection. The block comes first, so a
// completion routine finds its operation, and through it the connection.
struct PipeIo {
    OVERLAPPED overlapped;
    PipeConnection* connection;
};
static_assert(offsetof(PipeIo, overlapped) == 0);

// One connected client. Freed once its pipe is closed and no operation of
// it is in flight.
struct PipeConnection {
    PipeIo readIo{};
    PipeIo writeIo{};
    HANDLE pipe = INVALID_HANDLE_VALUE;
    std::int32_t port = 0;
    std::uint8_t buffer[virtMidiServerReadSize];
    // Under the connections mutex.
    VirtMidiBacklog backlog;
    std::vector<std::uint8_t> writing;  // the message of the write in flight
    bool writeInFlight = false;
    bool notReading = false;
    ULONGLONG lastProgress = 0;  // when the write in flight started or the last one completed
};

// The server thread's state for one port.
struct ListeningPort {
    std::string name;
    std::string pipeName;
    HANDLE connectEvent = nullptr;
    OVERLAPPED connect{};
    HANDLE instance = INVALID_HANDLE_VALUE;
    int instancesOpen = 0;  // ours of this name: listening, connected, closing
    bool pending = false;
    bool needsInstance = false;
    ULONGLONG retryAt = 0;
};

class OverlappedPipeServer final : public VirtMidiPipeServer {
public:
    std::size_t maxPorts() const override { return MAXIMUM_WAIT_OBJECTS - 1; }
    bool start(const std::vector<std::string>& portNames, VirtMidiReceiver receiver,
               void* context) override;
    void send(std::int32_t port, const std::uint8_t* bytes, std::int32_t length) override;
    std::size_t clientCount(std::int32_t port) override;
    void stop() override;

    void onReadComplete(PipeConnection* connection, DWORD error, DWORD bytes);
    void onWriteComplete(PipeConnection* connection, DWORD error);
    void startWrites();

private:
    static DWORD WINAPI threadMain(void* self);
    void run();
    void openPorts();
    void listen(ListeningPort& port);
    void awaitRetry(ListeningPort& port);
    void refuse(ListeningPort& port);
    void closeInstance(ListeningPort& port);
    void acceptClient(std::int32_t index);
    void retryDuePorts();
    DWORD nextTimeoutMs();
    bool startRead(PipeConnection* connection);
    void endConnection(PipeConnection* connection);
    void closeEverything();

    // Under connectionsMutex_.
    void startWrite(PipeConnection& connection);
    void queue(PipeConnection& connection, const std::uint8_t* bytes, std::size_t length);
    void giveUpOn(PipeConnection& connection, const char* why);
    void giveUpOnStalled();
    void closePipe(PipeConnection& connection);

    VirtMidiReceiver receiver_ = nullptr;
    void* context_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    HANDLE readyEvent_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;

    // Server thread only.
    std::vector<ListeningPort> ports_;
    bool stopping_ = false;
    int liveConnections_ = 0;  // records not yet freed

    std::mutex connectionsMutex_;
    std::vector<std::list<PipeConnection*>> connections_;
    bool writesRequested_ = false;  // an APC to startWrites is on its way
    log::RateLimitedLog clientLog_;
};

OverlappedPipeServer& server();

// Whether some process has a pipe of this name, asked without connecting to
// it. FILE_FLAG_FIRST_PIPE_INSTANCE alone would refuse a squatter on
// Windows, but Wine ignores that flag.
bool pipeNameTaken(const std::string& name)
{
    return WaitNamedPipeA(name.c_str(), 1) || GetLastError() == ERROR_SEM_TIMEOUT;
}

PipeConnection* owner(OVERLAPPED* overlapped) { return reinterpret_cast<PipeIo*>(overlapped)->connection; }

void CALLBACK onPipeReadComplete(DWORD error, DWORD bytes, OVERLAPPED* overlapped)
{
    server().onReadComplete(owner(overlapped), error, bytes);
}

void CALLBACK onPipeWriteComplete(DWORD error, DWORD, OVERLAPPED* overlapped)
{
    server().onWriteComplete(owner(overlapped), error);
}

void CALLBACK onWritesRequested(ULONG_PTR) { server().startWrites(); }

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
        writesRequested_ = false;
    }
    if (stopEvent_ == nullptr)
        stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, "virtMidiServerThreadRequestStop");
    readyEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent_ == nullptr || readyEvent_ == nullptr) {
        log::error("Virtual MIDI: cannot create the server's events, error %lu", GetLastError());
        return false;
    }
    ResetEvent(stopEvent_);
    receiver_ = receiver;
    context_ = context;
    stopping_ = false;
    thread_ = CreateThread(nullptr, 0, &OverlappedPipeServer::threadMain, this, 0, &threadId_);
    if (thread_ == nullptr) {
        log::error("Virtual MIDI: cannot start the server thread, error %lu", GetLastError());
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
    const bool first = port.instancesOpen == 0;
    if (first && pipeNameTaken(port.pipeName)) {
        refuse(port);
        return;
    }
    const HANDLE instance = CreateNamedPipeA(
        port.pipeName.c_str(),
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, virtMidiPipeBufferSize, virtMidiPipeBufferSize,
        virtMidiPipeTimeoutMs, virtMidiSecurityAttributes());
    if (instance == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (first && error == ERROR_ACCESS_DENIED) {
            refuse(port);
            return;
        }
        log::error("Virtual MIDI: cannot create a pipe instance of port \"%s\", error %lu; retrying",
                   port.name.c_str(), error);
        awaitRetry(port);
        return;
    }
    ++port.instancesOpen;
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
        log::error("Virtual MIDI: cannot listen on port \"%s\", error %lu; retrying",
                   port.name.c_str(), error);
        closeInstance(port);
        awaitRetry(port);
    }
}

// Another process has the port's pipe name, so our DAW's clients could
// reach it instead of us: the port is never served, never retried.
void OverlappedPipeServer::refuse(ListeningPort& port)
{
    log::error("Virtual MIDI: port \"%s\" is not served: another process already has its pipe %s",
               port.name.c_str(), port.pipeName.c_str());
    ResetEvent(port.connectEvent);
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
    --port.instancesOpen;
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

// Until the next retry of a port or the next client that may run out of
// patience.
DWORD OverlappedPipeServer::nextTimeoutMs()
{
    ULONGLONG next = ULLONG_MAX;
    for (const ListeningPort& port : ports_)
        if (port.needsInstance)
            next = std::min(next, port.retryAt);
    {
        std::lock_guard connections(connectionsMutex_);
        for (const auto& list : connections_)
            for (const PipeConnection* connection : list)
                if (connection->writeInFlight && !connection->notReading)
                    next = std::min(next, connection->lastProgress + kPatienceMs);
    }
    if (next == ULLONG_MAX)
        return INFINITE;
    const ULONGLONG now = GetTickCount64();
    return next > now ? static_cast<DWORD>(std::min<ULONGLONG>(next - now, INFINITE - 1)) : 0;
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
        {
            std::lock_guard connections(connectionsMutex_);
            giveUpOnStalled();
        }
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
            log::error("Virtual MIDI: the server's wait failed, error %lu", GetLastError());
        break;
    }
    closeEverything();
}

void OverlappedPipeServer::acceptClient(std::int32_t index)
{
    ListeningPort& port = ports_[index];
    DWORD ignored = 0;
    if (port.pending && !GetOverlappedResult(port.instance, &port.connect, &ignored, FALSE)) {
        clientLog_("Virtual MIDI: a client of port \"%s\" failed to connect, error %lu",
                   port.name.c_str(), GetLastError());
        closeInstance(port);
        listen(port);
        return;
    }
    auto* connection = new (std::nothrow) PipeConnection{};
    if (connection == nullptr) {
        clientLog_("Virtual MIDI: no memory for a client of port \"%s\"; dropped", port.name.c_str());
        closeInstance(port);
        listen(port);
        return;
    }
    ++liveConnections_;
    connection->readIo.connection = connection;
    connection->writeIo.connection = connection;
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
        endConnection(connection);
}

bool OverlappedPipeServer::startRead(PipeConnection* connection)
{
    if (ReadFileEx(connection->pipe, connection->buffer, sizeof connection->buffer,
                   &connection->readIo.overlapped, &onPipeReadComplete))
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
        clientLog_("Virtual MIDI: a client of port \"%s\" sent more than %zu bytes; disconnected",
                   ports_[connection->port].name.c_str(), sizeof connection->buffer);
    endConnection(connection);
}

// The read has ended: the client leaves its port at once, and its record
// goes once a write still in flight has come back too.
void OverlappedPipeServer::endConnection(PipeConnection* connection)
{
    bool writing = false;
    {
        std::lock_guard connections(connectionsMutex_);
        connections_[connection->port].remove(connection);
        connection->backlog.clear();
        writing = connection->writeInFlight;
        if (writing)
            CancelIoEx(connection->pipe, &connection->writeIo.overlapped);
        else
            closePipe(*connection);
    }
    if (!writing) {
        delete connection;
        --liveConnections_;
    }
}

void OverlappedPipeServer::closePipe(PipeConnection& connection)
{
    DisconnectNamedPipe(connection.pipe);
    CloseHandle(connection.pipe);
    connection.pipe = INVALID_HANDLE_VALUE;
    --ports_[connection.port].instancesOpen;
}

void OverlappedPipeServer::onWriteComplete(PipeConnection* connection, DWORD error)
{
    bool ended = false;
    {
        std::lock_guard connections(connectionsMutex_);
        connection->writeInFlight = false;
        auto& list = connections_[connection->port];
        ended = std::find(list.begin(), list.end(), connection) == list.end();
        if (ended) {
            closePipe(*connection);
        } else if (error == ERROR_SUCCESS) {
            if (connection->notReading)
                log::debug("Virtual MIDI: a client of port %d reads again", int(connection->port));
            connection->notReading = false;
            connection->lastProgress = GetTickCount64();
            startWrite(*connection);
        } else {
            connection->backlog.clear();  // gone: its read end drops it
        }
    }
    if (ended) {
        delete connection;
        --liveConnections_;
    }
}

void OverlappedPipeServer::startWrite(PipeConnection& connection)
{
    if (connection.writeInFlight || connection.backlog.empty() || stopping_)
        return;
    const auto message = connection.backlog.front();
    connection.writing.assign(message.begin(), message.end());
    connection.backlog.pop();
    connection.writeIo.overlapped = OVERLAPPED{};
    if (!WriteFileEx(connection.pipe, connection.writing.data(),
                     static_cast<DWORD>(connection.writing.size()), &connection.writeIo.overlapped,
                     &onPipeWriteComplete)) {
        connection.backlog.clear();  // gone: its read end drops it
        return;
    }
    connection.writeInFlight = true;
}

void OverlappedPipeServer::startWrites()
{
    std::lock_guard connections(connectionsMutex_);
    writesRequested_ = false;
    const ULONGLONG now = GetTickCount64();
    for (auto& list : connections_)
        for (PipeConnection* connection : list)
            if (!connection->writeInFlight && !connection->backlog.empty()) {
                connection->lastProgress = now;
                startWrite(*connection);
            }
}

void OverlappedPipeServer::queue(PipeConnection& connection, const std::uint8_t* bytes,
                                 std::size_t length)
{
    if (connection.notReading && connection.writeInFlight)
        return;
    if (!connection.backlog.push(bytes, length)) {
        giveUpOn(connection, "more messages wait for it than it may hold");
        return;
    }
    if (!connection.writeInFlight && !writesRequested_ &&
        QueueUserAPC(&onWritesRequested, thread_, 0))
        writesRequested_ = true;
}

void OverlappedPipeServer::giveUpOn(PipeConnection& connection, const char* why)
{
    clientLog_("Virtual MIDI: a client of port %d is not reading (%s); messages for it are dropped",
               int(connection.port), why);
    connection.backlog.clear();
    connection.notReading = true;
}

void OverlappedPipeServer::giveUpOnStalled()
{
    const ULONGLONG now = GetTickCount64();
    for (auto& list : connections_)
        for (PipeConnection* connection : list)
            if (connection->writeInFlight && !connection->notReading &&
                now - connection->lastProgress >= kPatienceMs)
                giveUpOn(*connection, "it has taken nothing for a second");
}

// Cancelled reads and writes still complete through their routines, which
// free the records; they only run in an alertable wait, so wait for them here.
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
    while (liveConnections_ > 0 && GetTickCount64() < deadline)
        SleepEx(10, TRUE);
    if (liveConnections_ > 0)
        log::error("Virtual MIDI: some client reads did not end at stop; their records are left alone");
    ports_.clear();
}

void OverlappedPipeServer::send(std::int32_t port, const std::uint8_t* bytes, std::int32_t length)
{
    std::lock_guard connections(connectionsMutex_);
    if (port < 0 || static_cast<std::size_t>(port) >= connections_.size())
        return;
    for (PipeConnection* connection : connections_[port])
        queue(*connection, bytes, static_cast<std::size_t>(length));
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
