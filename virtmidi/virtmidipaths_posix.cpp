#include "virtmidi/virtmidipaths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DebugOutput.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

namespace {

void reportUnusableDir(const std::string& dir, const char* why)
{
    debugOutput(("Virtual MIDI: cannot use " + dir + ": " + why + "\n").c_str());
}

// The fallback lives in a world-writable directory: accept it only if it is
// our own private directory, so nobody else can plant or read our sockets.
std::optional<std::string> privateFallbackDir()
{
    const std::string dir = "/tmp/corvello-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        reportUnusableDir(dir, std::strerror(errno));
        return std::nullopt;
    }
    struct stat info {};
    if (lstat(dir.c_str(), &info) != 0) {
        reportUnusableDir(dir, std::strerror(errno));
        return std::nullopt;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid() || (info.st_mode & 077) != 0) {
        reportUnusableDir(dir, "not a private directory of this user");
        return std::nullopt;
    }
    return dir;
}

}  // namespace

std::optional<std::string> virtMidiRuntimeDir()
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && *xdg != '\0')
        return std::string(xdg);
    return privateFallbackDir();
}

std::string virtMidiLockPath(const std::string& runtimeDir)
{
    return runtimeDir + "/" + virtMidiGuid + ".lock";
}

std::string virtMidiSharedDir(const std::string& runtimeDir)
{
    return runtimeDir + "/" + virtMidiGuid;
}

std::string virtMidiPortsPath(const std::string& runtimeDir)
{
    return virtMidiSharedDir(runtimeDir) + "/ports";
}

bool virtMidiSocketAddress(const std::string& runtimeDir, std::string_view portName,
                           sockaddr_un& address, std::string& error)
{
    const std::string path = virtMidiSharedDir(runtimeDir) + "/" + std::string(portName);
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        error = "socket path longer than " + std::to_string(sizeof address.sun_path - 1) +
                " bytes: " + path;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace corvello
