#pragma once
// The driver's end of a port's message pipe: a named pipe on Windows, a
// SOCK_SEQPACKET socket on POSIX. (Whether a server runs and which ports it
// publishes come from virtmidi/, shared with the server.)

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvello {

// A HANDLE on Windows, a descriptor on POSIX; -1 is invalid on both.
using PipeHandle = std::intptr_t;
inline constexpr PipeHandle kInvalidPipe = -1;

// Opens the port's pipe in message mode, for overlapped use on Windows.
// On failure returns kInvalidPipe and sets `error` to the system's code.
PipeHandle openPortPipe(const std::string& portName, int& error);

// One message, written synchronously; true when all of it was written.
bool writePortPipe(PipeHandle pipe, const std::uint8_t* bytes, std::size_t count);

void closePortPipe(PipeHandle pipe);

}  // namespace corvello
