#pragma once
// Where the shared things live on POSIX. R is $XDG_RUNTIME_DIR, or
// /tmp/corvello-<uid> (mode 0700, created on first use) when that is unset;
// G is the GUID. Both the server and its clients build every path here.
//
// Nobody but this user may be able to put anything where we look: R must be
// a real directory of ours that nobody else can write to, and R/G a real
// directory of ours that nobody else can even enter. A symbolic link at
// either is refused, never followed; so nothing under R/G can be planted by
// another user, and every look inside it goes through a descriptor of R/G.

#include <optional>
#include <string>
#include <string_view>

#include <sys/un.h>

namespace corvello {

// R, or nothing (after a line in the log) when the fallback cannot be created
// or R is not ours, a symbolic link, or writable by group or others.
std::optional<std::string> virtMidiRuntimeDir();

// R/G.lock: the single-instance lock file.
std::string virtMidiLockPath(const std::string& runtimeDir);
// R/G: the directory of the port list and the port sockets.
std::string virtMidiSharedDir(const std::string& runtimeDir);
// R/G/ports: the port list, the same bytes as the registry value on Windows.
std::string virtMidiPortsPath(const std::string& runtimeDir);

// R/G opened without following a symbolic link, and checked to be a
// directory of this user that group and others have no access to.
class VirtMidiSharedDirectory {
public:
    // With `create`, a missing R/G is made first (mode 0700). Nothing, with
    // `error` set, when it is a symbolic link or anything but a directory,
    // belongs to someone else or is open to group or others; nothing with
    // `error` empty when it is missing (and not to be created).
    static std::optional<VirtMidiSharedDirectory> open(const std::string& runtimeDir, bool create,
                                                       std::string& error);

    VirtMidiSharedDirectory(VirtMidiSharedDirectory&& other) noexcept;
    VirtMidiSharedDirectory& operator=(VirtMidiSharedDirectory&& other) noexcept;
    ~VirtMidiSharedDirectory();

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

private:
    VirtMidiSharedDirectory(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    int fd_;
    std::string path_;
};

// The socket address of `path`. False, with `error` set, when it does not
// fit into sun_path.
bool virtMidiSocketPathAddress(const std::string& path, sockaddr_un& address, std::string& error);

// The socket address R/G/<port name> for a client. False, with `error` set,
// when the path does not fit into sun_path, when R/G fails the checks above,
// or when what stands at the path is anything but a socket.
bool virtMidiSocketAddress(const std::string& runtimeDir, std::string_view portName,
                           sockaddr_un& address, std::string& error);

}  // namespace corvello
