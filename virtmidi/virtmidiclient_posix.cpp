#include "virtmidi/virtmidiclient.h"

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

#include "virtmidi/virtmidipaths.h"

namespace corvello {

namespace {

class SocketClientPipe final : public VirtMidiClientPipe {
public:
    explicit SocketClientPipe(int fd) : fd_(fd) {}
    ~SocketClientPipe() override { close(fd_); }

    bool write(const std::uint8_t* bytes, std::size_t length) override
    {
        ssize_t n;
        do
            n = ::send(fd_, bytes, length, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n == static_cast<ssize_t>(length);
    }

    std::optional<std::size_t> read(ReadBuffer buffer, std::string& endReason) override
    {
        ssize_t n;
        do
            n = recv(fd_, buffer.data(), buffer.size(), MSG_TRUNC);
        while (n < 0 && errno == EINTR);
        if (n < 0)
            endReason = std::strerror(errno);
        else if (n == 0)
            endReason = "the connection ended";
        else if (static_cast<std::size_t>(n) > buffer.size())
            endReason = "a message of " + std::to_string(n) + " bytes, more than " +
                        std::to_string(buffer.size());
        else
            return static_cast<std::size_t>(n);
        return std::nullopt;
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<VirtMidiClientPipe> VirtMidiClientPipe::connect(std::string_view portName,
                                                                std::string& error)
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir) {
        error = "no runtime directory for the virtual MIDI ports";
        return nullptr;
    }
    sockaddr_un address;
    if (!virtMidiSocketAddress(*runtimeDir, portName, address, error))
        return nullptr;
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return nullptr;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "no virtual MIDI server serves " + std::string(address.sun_path) + ": " +
                std::strerror(errno);
        close(fd);
        return nullptr;
    }
    return std::make_unique<SocketClientPipe>(fd);
}

}  // namespace corvello
