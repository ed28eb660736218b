#include "virtmidi/virtmidiclient.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "virtmidi/virtmidilock.h"
#include "virtmidi/virtmidiportlist.h"

namespace corvello {

namespace {

HANDLE handleOf(VirtMidiClientHandle client) { return reinterpret_cast<HANDLE>(client); }

constexpr DWORD kInstanceWaitMs = 2000;
constexpr DWORD kInstanceRetryMs = 5;

// The driver calls this inside the DAW: a list that cannot be read (even by
// throwing) is no list.
bool portIsPublished(std::string_view portName)
{
    if (!virtMidiServerRunning())
        return false;
    try {
        const std::vector<std::string> names = virtMidiReadPortList();
        return std::find(names.begin(), names.end(), portName) != names.end();
    } catch (const std::exception&) {
        return false;
    }
}

// Overlapped, so a read waiting on one thread (or the driver's ReadFileEx)
// does not hold up a write from another. Identification only: whoever serves
// the name may learn who connected, never act as the DAW's user.
HANDLE createClient(const std::string& pipeName)
{
    return CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                       nullptr);
}

// The server makes its next listening instance only after a client has taken
// the last one, so a client arriving just then finds none free (busy) or, on
// Wine, none at all for a moment (not found). Both are waited out while the
// port is published, as a socket's backlog would on POSIX; a port nobody
// serves fails at once. Returns the handle, or INVALID_HANDLE_VALUE with
// `error` set.
HANDLE connectToInstance(const std::string& pipeName, std::string_view portName, DWORD& error)
{
    const ULONGLONG deadline = GetTickCount64() + kInstanceWaitMs;
    for (;;) {
        const HANDLE pipe = createClient(pipeName);
        if (pipe != INVALID_HANDLE_VALUE)
            return pipe;
        error = GetLastError();
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return INVALID_HANDLE_VALUE;
        if (error == ERROR_PIPE_BUSY) {
            if (!WaitNamedPipeA(pipeName.c_str(), static_cast<DWORD>(deadline - now)))
                Sleep(kInstanceRetryMs);
        } else if (error == ERROR_FILE_NOT_FOUND && portIsPublished(portName)) {
            Sleep(kInstanceRetryMs);
        } else {
            return INVALID_HANDLE_VALUE;
        }
    }
}

// One overlapped transfer on an event of its own, waited for at most
// `waitMs`; a transfer still pending then is cancelled. True with `bytes`
// set when it completed.
template <typename Start>
bool transfer(HANDLE pipe, DWORD waitMs, DWORD& bytes, Start start)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr)
        return false;
    bool ok = start(&overlapped) || GetLastError() == ERROR_IO_PENDING;
    if (ok) {
        if (WaitForSingleObject(overlapped.hEvent, waitMs) != WAIT_OBJECT_0)
            CancelIoEx(pipe, &overlapped);
        ok = GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);
    }
    const DWORD error = GetLastError();
    CloseHandle(overlapped.hEvent);
    SetLastError(error);
    return ok;
}

}  // namespace

VirtMidiClientHandle virtMidiConnect(std::string_view portName, std::string& error)
{
    const std::string name = virtMidiPipeName(portName);
    DWORD openError = 0;
    const HANDLE pipe = connectToInstance(name, portName, openError);
    if (pipe == INVALID_HANDLE_VALUE) {
        error = "no virtual MIDI server serves " + name + " (error " + std::to_string(openError) + ")";
        return kNoVirtMidiClient;
    }
    // Read by bytes, a pipe would run messages together: refused instead.
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        error = "cannot read " + name + " by messages (error " + std::to_string(GetLastError()) + ")";
        CloseHandle(pipe);
        return kNoVirtMidiClient;
    }
    return reinterpret_cast<VirtMidiClientHandle>(pipe);
}

bool virtMidiWrite(VirtMidiClientHandle client, const std::uint8_t* bytes, std::size_t length)
{
    DWORD written = 0;
    return transfer(handleOf(client), kVirtMidiWriteWaitMs, written,
                    [&](OVERLAPPED* overlapped) {
                        return WriteFile(handleOf(client), bytes, static_cast<DWORD>(length),
                                         nullptr, overlapped);
                    }) &&
           written == length;
}

std::optional<std::size_t> virtMidiRead(VirtMidiClientHandle client, VirtMidiReadBuffer buffer,
                                        std::string& endReason)
{
    DWORD received = 0;
    const bool ok = transfer(handleOf(client), INFINITE, received, [&](OVERLAPPED* overlapped) {
        return ReadFile(handleOf(client), buffer.data(), static_cast<DWORD>(buffer.size()),
                        nullptr, overlapped);
    });
    if (ok && received != 0)
        return received;
    if (ok)
        endReason = "an empty message";
    else if (GetLastError() == ERROR_MORE_DATA)
        endReason = "a message over " + std::to_string(buffer.size()) + " bytes";
    else if (GetLastError() == ERROR_BROKEN_PIPE)
        endReason = "the connection ended";
    else
        endReason = "read error " + std::to_string(GetLastError());
    return std::nullopt;
}

void virtMidiClose(VirtMidiClientHandle client)
{
    if (client != kNoVirtMidiClient)
        CloseHandle(handleOf(client));
}

}  // namespace corvello
