#pragma once
// The far end of the virtual MIDI ports the driver shows to the DAW: one
// server per user session, one listening pipe instance per port, any number
// of clients per port. One server thread does all the reading.

#include <cstddef>
#include <cstdint>

namespace corvello {

// Called on the server thread with the context given at start, the port index
// and one message's bytes (valid only during the call).
using VirtMidiReceiver = void (*)(void* context, std::int32_t port, const std::uint8_t* bytes,
                                  std::int32_t length);

// Takes the single-instance lock, publishes the port list, opens every
// port and starts the server thread; clients can connect once it returns.
// `portNames` ends with a null entry. Returns false, after
// "A Virtual MIDI Server is already running" on the debugger output, when
// another server runs (in this process too), or after another line there
// when the system refuses the lock or the server thread; no pipe is left
// open then.
bool virtMidiServerStart(const char* const* portNames, VirtMidiReceiver receiver, void* context);

// Writes the bytes as one pipe message to every client of the port, from any
// thread, the receiver included. Never waits long on a client that does not
// read: that client loses the message. Failures are not returned; a port
// without clients, a port out of range and an empty message take nothing.
void virtMidiServerSend(std::int32_t port, const std::uint8_t* bytes, std::int32_t length);

// How many clients the port has now; 0 for a port out of range.
std::size_t virtMidiServerClientCount(std::int32_t port);

// Stops the server thread, closes every pipe and client and releases the
// lock, so the server can be started again; the published list stays. Used
// at exit and by tests. Not to be called from the receiver.
void virtMidiServerStop();

}  // namespace corvello
