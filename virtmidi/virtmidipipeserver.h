#pragma once
// The platform half of the virtual MIDI server: the listening pipes, the
// connections and the server thread. The portable half (virtmidiserver.cpp)
// takes the lock, publishes the port list and screens every call first.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "virtmidi/virtmidiserver.h"

namespace corvello {

class VirtMidiPipeServer {
public:
    virtual ~VirtMidiPipeServer() = default;

    // How many ports one server can serve.
    virtual std::size_t maxPorts() const = 0;
    // Opens a listening pipe per name and starts the server thread; clients
    // can connect once it returns true. False after a line on the debugger
    // output, with nothing left open.
    virtual bool start(const std::vector<std::string>& portNames, VirtMidiReceiver receiver,
                       void* context) = 0;
    // Any port number; `bytes` holds `length` > 0 bytes. Never waits long.
    virtual void send(std::int32_t port, const std::uint8_t* bytes, std::int32_t length) = 0;
    virtual std::size_t clientCount(std::int32_t port) = 0;
    // Ends the thread and every connection; nothing happens when not started.
    virtual void stop() = 0;
};

// This platform's pipe server; one per process, never destroyed, as senders
// on other threads may still call in during exit.
VirtMidiPipeServer& virtMidiPipeServer();

}  // namespace corvello
