#pragma once
// The client end of a virtual MIDI port's pipe, the one way to talk to the
// server from the DAW's side: the driver keeps one per port (its read thread
// reads them all, the DAW's output calls write), the tools and tests hold one
// in a VirtMidiClientPipe. A message-mode named pipe opened for overlapped
// I/O on Windows, a SOCK_SEQPACKET socket on POSIX; one implementation per
// platform (virtmidiclient_posix.cpp, virtmidiclient_win.cpp). One thread may
// read while another writes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

// A HANDLE on Windows, a descriptor on POSIX; kNoVirtMidiClient when there is
// none. A Windows handle is overlapped, so a read thread may read it with
// ReadFileEx; a POSIX descriptor may be polled.
using VirtMidiClientHandle = std::intptr_t;
inline constexpr VirtMidiClientHandle kNoVirtMidiClient = -1;

using VirtMidiReadBuffer = std::span<std::uint8_t, virtMidiClientReadSize>;

// How long a write waits for the server to take its message. A server that
// stops reading must not hold the DAW's output call, or a tool, for longer.
inline constexpr int kVirtMidiWriteWaitMs = 1000;

// Connects to the port's pipe, waiting (at most two seconds) only while a
// running server readies the port for its next client. kNoVirtMidiClient,
// with `error` set, when no server serves that port, or when its pipe would
// run messages together (a named pipe that is not of the message type).
VirtMidiClientHandle virtMidiConnect(std::string_view portName, std::string& error);

// Writes the bytes as one message; true when the server took all of them
// within kVirtMidiWriteWaitMs. A zero-length message is allowed here: the
// server ends the connection on it.
bool virtMidiWrite(VirtMidiClientHandle client, const std::uint8_t* bytes, std::size_t length);

// Waits for the next message and returns its length. Nothing, with
// `endReason` set, when the connection ended, failed, or brought an empty
// message or one over the buffer's size; the connection is useless after
// that. On a POSIX descriptor poll() reported readable it does not wait.
std::optional<std::size_t> virtMidiRead(VirtMidiClientHandle client, VirtMidiReadBuffer buffer,
                                        std::string& endReason);

// Does nothing with kNoVirtMidiClient.
void virtMidiClose(VirtMidiClientHandle client);

// One connection owned for its whole life: what a tool or a test holds.
class VirtMidiClientPipe {
public:
    using ReadBuffer = VirtMidiReadBuffer;

    // Null, with `error` set, when virtMidiConnect fails.
    static std::unique_ptr<VirtMidiClientPipe> connect(std::string_view portName, std::string& error)
    {
        const VirtMidiClientHandle client = virtMidiConnect(portName, error);
        return client == kNoVirtMidiClient ? nullptr
                                           : std::unique_ptr<VirtMidiClientPipe>(
                                                 new VirtMidiClientPipe(client));
    }

    ~VirtMidiClientPipe() { virtMidiClose(client_); }
    VirtMidiClientPipe(const VirtMidiClientPipe&) = delete;
    VirtMidiClientPipe& operator=(const VirtMidiClientPipe&) = delete;

    bool write(const std::uint8_t* bytes, std::size_t length)
    {
        return virtMidiWrite(client_, bytes, length);
    }

    std::optional<std::size_t> read(ReadBuffer buffer, std::string& endReason)
    {
        return virtMidiRead(client_, buffer, endReason);
    }

private:
    explicit VirtMidiClientPipe(VirtMidiClientHandle client) : client_(client) {}

    VirtMidiClientHandle client_;
};

}  // namespace corvello
