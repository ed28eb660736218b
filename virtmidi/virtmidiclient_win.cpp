#include "virtmidi/virtmidiclient.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "virtmidi/virtmidilock.h"
#include "virtmidi/virtmidiportlist.h"

namespace corvello {

namespace {

// Opened for overlapped I/O so that a read waiting on one thread does not
// hold up a write from another; each direction waits on its own event.
class NamedClientPipe final : public VirtMidiClientPipe {
public:
    explicit NamedClientPipe(HANDLE pipe) : pipe_(pipe) {}
    ~NamedClientPipe() override
    {
        CloseHandle(pipe_);
        CloseHandle(readEvent_);
        CloseHandle(writeEvent_);
    }

    bool write(const std::uint8_t* bytes, std::size_t length) override
    {
        DWORD written = 0;
        return transfer(writeEvent_, written, [&](OVERLAPPED* overlapped) {
                   return WriteFile(pipe_, bytes, static_cast<DWORD>(length), nullptr, overlapped);
               }) &&
               written == length;
    }

    std::optional<std::size_t> read(ReadBuffer buffer, std::string& endReason) override
    {
        DWORD received = 0;
        const bool ok = transfer(readEvent_, received, [&](OVERLAPPED* overlapped) {
            return ReadFile(pipe_, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr,
                            overlapped);
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

private:
    template <typename Start>
    bool transfer(HANDLE event, DWORD& bytes, Start start)
    {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        if (!start(&overlapped) && GetLastError() != ERROR_IO_PENDING)
            return false;
        return GetOverlappedResult(pipe_, &overlapped, &bytes, TRUE);
    }

    HANDLE pipe_;
    HANDLE readEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE writeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

constexpr DWORD kBusyWaitMs = 2000;
constexpr DWORD kMissingRetryMs = 10;

bool portIsPublished(std::string_view portName)
{
    if (!virtMidiServerRunning())
        return false;
    const std::vector<std::string> names = virtMidiReadPortList();
    return std::find(names.begin(), names.end(), portName) != names.end();
}

// Between one client's arrival and the server's next listening instance the
// port is busy (Wine may even call it missing); wait for that instance
// rather than fail, as a socket's backlog would on POSIX. Returns the handle,
// or INVALID_HANDLE_VALUE with `error` set.
HANDLE openPipe(const std::string& pipeName, std::string_view portName, DWORD& error)
{
    const ULONGLONG deadline = GetTickCount64() + kBusyWaitMs;
    for (;;) {
        const HANDLE pipe = CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            return pipe;
        error = GetLastError();
        const bool inTime = GetTickCount64() < deadline;
        if (error == ERROR_PIPE_BUSY && inTime && WaitNamedPipeA(pipeName.c_str(), kBusyWaitMs))
            continue;
        if (error == ERROR_FILE_NOT_FOUND && inTime && portIsPublished(portName)) {
            Sleep(kMissingRetryMs);
            continue;
        }
        return INVALID_HANDLE_VALUE;
    }
}

}  // namespace

std::unique_ptr<VirtMidiClientPipe> VirtMidiClientPipe::connect(std::string_view portName,
                                                                std::string& error)
{
    const std::string name = virtMidiPipeName(portName);
    DWORD openError = 0;
    const HANDLE pipe = openPipe(name, portName, openError);
    if (pipe == INVALID_HANDLE_VALUE) {
        error = "no virtual MIDI server serves " + name + " (error " + std::to_string(openError) + ")";
        return nullptr;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        error = "cannot read " + name + " by messages (error " + std::to_string(GetLastError()) + ")";
        CloseHandle(pipe);
        return nullptr;
    }
    return std::make_unique<NamedClientPipe>(pipe);
}

}  // namespace corvello
