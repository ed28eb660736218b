#include "virtmidi/virtmidiclient.h"

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "virtmidi/virtmidipaths.h"

namespace corvello {

namespace {

// A send that the server's full socket buffer holds up fails after the wait.
void boundWrites(int fd)
{
    const timeval wait{kVirtMidiWriteWaitMs / 1000, (kVirtMidiWriteWaitMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
}

}  // namespace

VirtMidiClientHandle virtMidiConnect(std::string_view portName, std::string& error)
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir) {
        error = "no runtime directory for the virtual MIDI ports";
        return kNoVirtMidiClient;
    }
    sockaddr_un address;
    if (!virtMidiSocketAddress(*runtimeDir, portName, address, error))
        return kNoVirtMidiClient;
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return kNoVirtMidiClient;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "no virtual MIDI server serves " + std::string(address.sun_path) + ": " +
                std::strerror(errno);
        close(fd);
        return kNoVirtMidiClient;
    }
    boundWrites(fd);
    return fd;
}

bool virtMidiWrite(VirtMidiClientHandle client, const std::uint8_t* bytes, std::size_t length)
{
    ssize_t sent;
    do
        sent = ::send(static_cast<int>(client), bytes, length, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent >= 0 && static_cast<std::size_t>(sent) == length;
}

// MSG_TRUNC reports a message's real length, so one longer than the buffer
// shows as such rather than as a shorter message.
std::optional<std::size_t> virtMidiRead(VirtMidiClientHandle client, VirtMidiReadBuffer buffer,
                                        std::string& endReason)
{
    ssize_t received;
    do
        received = recv(static_cast<int>(client), buffer.data(), buffer.size(), MSG_TRUNC);
    while (received < 0 && errno == EINTR);
    if (received < 0)
        endReason = std::strerror(errno);
    else if (received == 0)
        endReason = "the connection ended";
    else if (static_cast<std::size_t>(received) > buffer.size())
        endReason = "a message of " + std::to_string(received) + " bytes, more than " +
                    std::to_string(buffer.size());
    else
        return static_cast<std::size_t>(received);
    return std::nullopt;
}

void virtMidiClose(VirtMidiClientHandle client)
{
    if (client != kNoVirtMidiClient)
        close(static_cast<int>(client));
}

}  // namespace corvello
