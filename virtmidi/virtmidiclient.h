#pragma once
// The DAW-side end of one virtual MIDI port's pipe: what a client process
// opens to talk to the server. Reading and writing may happen on two threads
// at once.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

class VirtMidiClientPipe {
public:
    using ReadBuffer = std::span<std::uint8_t, virtMidiClientReadSize>;

    // Connects to the port's pipe, waiting (at most two seconds) only while a
    // running server readies the port for its next client; null, with
    // `error` set, when no server serves that port.
    static std::unique_ptr<VirtMidiClientPipe> connect(std::string_view portName, std::string& error);

    virtual ~VirtMidiClientPipe() = default;

    // Writes the bytes as one message. A zero-length message is allowed
    // here: the server ends the connection on it.
    virtual bool write(const std::uint8_t* bytes, std::size_t length) = 0;

    // Waits for the next message and returns its length. Nothing, with
    // `endReason` set, when the connection ended, failed, or brought an empty
    // message or one over the buffer's size; the pipe is useless after that.
    virtual std::optional<std::size_t> read(ReadBuffer buffer, std::string& endReason) = 0;
};

}  // namespace corvello
