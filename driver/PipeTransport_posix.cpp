#include "driver/PipeTransport.h"

#include "virtmidi/virtmidipaths.h"

#include <cerrno>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace corvello {

PipeHandle openPortPipe(const std::string& portName, int& error)
{
    const auto runtimeDir = virtMidiRuntimeDir();
    sockaddr_un address{};
    std::string why;
    if (!runtimeDir || !virtMidiSocketAddress(*runtimeDir, portName, address, why)) {
        error = runtimeDir ? ENAMETOOLONG : ENOENT;
        return kInvalidPipe;
    }
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return kInvalidPipe;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        close(fd);
        return kInvalidPipe;
    }
    return fd;
}

bool writePortPipe(PipeHandle pipe, const std::uint8_t* bytes, std::size_t count)
{
    ssize_t sent;
    do {
        sent = send(static_cast<int>(pipe), bytes, count, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 && static_cast<std::size_t>(sent) == count;
}

void closePortPipe(PipeHandle pipe)
{
    if (pipe != kInvalidPipe)
        close(static_cast<int>(pipe));
}

}  // namespace corvello
