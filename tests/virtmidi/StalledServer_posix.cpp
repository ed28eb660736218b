#include "tests/virtmidi/StalledServer.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include "virtmidi/virtmidipaths.h"

namespace corvello::test {

StalledServer::StalledServer(const char* portName)
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir)
        return;
    const std::filesystem::path dir = virtMidiSharedDir(*runtimeDir);
    std::filesystem::create_directories(dir);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    sockaddr_un address;
    std::string error;
    if (!virtMidiSocketAddress(*runtimeDir, portName, address, error))
        return;
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 1) != 0) {
        close(fd);
        return;
    }
    handle_ = fd;
    path_ = address.sun_path;
}

StalledServer::~StalledServer()
{
    if (!ready())
        return;
    close(static_cast<int>(handle_));
    unlink(path_.c_str());
}

}  // namespace corvello::test
