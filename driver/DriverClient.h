#pragma once
// The driver's side of the virtual MIDI pipes, one per process: how many
// devices exist, the pipes of every port (opened when the first device of the
// process opens, closed when the last closes), the read thread that feeds the
// input path, and the write of output bytes.
//
// Locking: one client mutex makes clientOpen and clientClose (and so the open
// count, the pipes' opening and the read thread's life) atomic against each
// other; each port's pipe mutex makes the write, resetPort and the closing of
// that pipe exclusive, so no write ever runs on a handle being closed. The
// read thread takes only pipe mutexes and queue locks, never the client
// mutex, so clientClose may wait for it while holding the client mutex.

#include "driver/PortRecord.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvello {

// The descriptor tables hold 16 devices per direction; further ports are not
// shown.
inline constexpr std::uint32_t kMaxDevices = 16;

// Devices per direction. 0, with the warning on the debugger output, while no
// server runs. The first query that finds a server fixes the number for the
// life of the process.
std::uint32_t deviceCount();

// The number fixed by that first query (0 before it), without looking for
// the server: bounds for the messages that only touch existing records.
std::uint32_t portRecordCount();
PortRecord& portRecord(std::uint32_t index);  // index below portRecordCount()
const std::string& portName(std::uint32_t index);

// Called on every device open and close. clientOpen returns true when the
// pipes are available.
bool clientOpen();
void clientClose();

// Writes the bytes as one pipe message; false when the port is not connected
// or the server did not take them (see virtMidiWrite: the wait is bounded).
bool clientWrite(PortRecord& record, const std::uint8_t* bytes, std::size_t count);

// For the read thread: a message arrived, or the pipe broke (the server went
// away, a message was too long or empty, or the read was cancelled).
void clientMessageReceived(PortRecord& record, std::size_t count);
void resetPort(PortRecord& record);
// Closes the port's pipe and opens it again: a new connection, a new stream.
// False, with a trace, when it cannot be opened.
bool reopenPort(PortRecord& record);

}  // namespace corvello
