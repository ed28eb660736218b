#pragma once
// The far end of the virtual MIDI ports the driver shows to the DAW: one
// server per user session, one listening pipe instance per port, any number
// of clients per port. One server thread does all the reading.

#include <cstdint>

namespace corvello {

// Called on the server thread with the context given at start, the port index
// and one message's bytes (valid only during the call).
using VirtMidiReceiver = void (*)(void* context, std::int32_t port, const std::uint8_t* bytes,
                                  std::int32_t length);

// Takes the single-instance lock, publishes the port list and starts the
// server thread. `portNames` ends with a null entry. Returns false, after
// "A Virtual MIDI Server is already running" on the debugger output, when
// another server runs; nothing is created then.
bool virtMidiServerStart(const char* const* portNames, VirtMidiReceiver receiver, void* context);

// Writes the bytes as one pipe message to every client of the port. Failures
// are not reported; a port without clients, or out of range, takes nothing.
void virtMidiServerSend(std::int32_t port, const std::uint8_t* bytes, std::int32_t length);

// Stops the server thread and closes every pipe and client; the lock and the
// published list stay until the process ends. Used at exit and by tests.
void virtMidiServerStop();

}  // namespace corvello
