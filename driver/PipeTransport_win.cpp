#include "driver/PipeTransport.h"

#include "virtmidi/virtmidiprotocol.h"

#include <windows.h>

namespace corvello {

namespace {

HANDLE handleOf(PipeHandle pipe) { return reinterpret_cast<HANDLE>(pipe); }

// How long an open waits for a listening instance of the port's pipe.
constexpr DWORD kInstanceWaitMs = 1000;
constexpr DWORD kInstancePollMs = 5;

HANDLE createPipeClient(const std::string& name)
{
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

// The server makes a new listening instance only after a client has taken the
// last one, so a device reopened at once can find none free (busy) or none at
// all for a moment (not found). Both are waited out briefly; a port the server
// does not serve fails after the wait.
HANDLE connectToInstance(const std::string& name, DWORD& error)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HANDLE pipe = createPipeClient(name);
        error = GetLastError();
        const DWORD waited = GetTickCount() - start;
        if (pipe != INVALID_HANDLE_VALUE || waited >= kInstanceWaitMs ||
            (error != ERROR_PIPE_BUSY && error != ERROR_FILE_NOT_FOUND))
            return pipe;
        if (error != ERROR_PIPE_BUSY || !WaitNamedPipeA(name.c_str(), kInstanceWaitMs - waited))
            Sleep(kInstancePollMs);
    }
}

}  // namespace

// Opened for overlapped use: the read thread keeps a read outstanding while
// application threads write.
PipeHandle openPortPipe(const std::string& portName, int& error)
{
    const std::string name = virtMidiPipeName(portName);
    DWORD connectError = 0;
    HANDLE pipe = connectToInstance(name, connectError);
    if (pipe == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(connectError);
        return kInvalidPipe;
    }
    // Read by bytes, a pipe would run messages together: refused instead.
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        error = static_cast<int>(GetLastError());
        CloseHandle(pipe);
        return kInvalidPipe;
    }
    return reinterpret_cast<PipeHandle>(pipe);
}

// The handle is overlapped, so a synchronous write waits on an event of its
// own rather than trusting a write without an overlapped block.
bool writePortPipe(PipeHandle pipe, const std::uint8_t* bytes, std::size_t count)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(handleOf(pipe), bytes, static_cast<DWORD>(count), &written, &overlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(handleOf(pipe), &overlapped, &written, TRUE);
    CloseHandle(overlapped.hEvent);
    return ok && written == count;
}

void closePortPipe(PipeHandle pipe)
{
    if (pipe != kInvalidPipe)
        CloseHandle(handleOf(pipe));
}

}  // namespace corvello
