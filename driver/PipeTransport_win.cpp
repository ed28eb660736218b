#include "driver/PipeTransport.h"

#include "virtmidi/virtmidiprotocol.h"

#include <windows.h>

namespace corvello {

namespace {
HANDLE handleOf(PipeHandle pipe) { return reinterpret_cast<HANDLE>(pipe); }
}  // namespace

// Opened for overlapped use: the read thread keeps a read outstanding while
// application threads write.
PipeHandle openPortPipe(const std::string& portName, int& error)
{
    const std::string name = virtMidiPipeName(portName);
    HANDLE pipe = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return kInvalidPipe;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
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
