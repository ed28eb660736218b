#include "virtmidi/virtmidipaths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Log.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

namespace {

// Clients ask for R on every open, so a refused R is not repeated per call.
log::RateLimitedLog& refusalLog()
{
    static auto* instance = new log::RateLimitedLog(log::Level::error);
    return *instance;
}

struct Forbidden {
    mode_t bits;
    const char* why;
};
constexpr Forbidden kOthersMayWrite{S_IWGRP | S_IWOTH, "group or others may write to it"};
constexpr Forbidden kOthersMayAccess{S_IRWXG | S_IRWXO, "group or others may access it"};

// Why `info` (from lstat or fstatat without following) is no place for our
// things, or null when it is one: a real directory of this user.
const char* unfitDirectory(const struct stat& info, Forbidden forbidden)
{
    if (S_ISLNK(info.st_mode))
        return "it is a symbolic link";
    if (!S_ISDIR(info.st_mode))
        return "it is not a directory";
    if (info.st_uid != geteuid())
        return "it belongs to another user";
    if ((info.st_mode & forbidden.bits) != 0)
        return forbidden.why;
    return nullptr;
}

std::string refusal(const std::string& dir, const char* why, const struct stat* info)
{
    std::string text = "cannot use " + dir + ": " + why;
    if (info != nullptr) {
        char details[64];
        std::snprintf(details, sizeof details, " (owner %u, mode %04o)", unsigned(info->st_uid),
                      unsigned(info->st_mode & 07777));
        text += details;
    }
    return text;
}

std::optional<std::string> checkedRuntimeDir(const std::string& dir, const char* remedy)
{
    struct stat info {};
    if (lstat(dir.c_str(), &info) != 0) {
        refusalLog()("Virtual MIDI: %s; %s", refusal(dir, std::strerror(errno), nullptr).c_str(),
                     remedy);
        return std::nullopt;
    }
    if (const char* why = unfitDirectory(info, kOthersMayWrite)) {
        refusalLog()("Virtual MIDI: %s; %s", refusal(dir, why, &info).c_str(), remedy);
        return std::nullopt;
    }
    return dir;
}

// The fallback lives in a world-writable directory, where anyone may have
// made it first: it is made private, and used only if it is ours.
std::optional<std::string> privateFallbackDir()
{
    const std::string dir = "/tmp/corvello-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        refusalLog()("Virtual MIDI: cannot create %s: %s", dir.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    return checkedRuntimeDir(dir, "remove it, or set XDG_RUNTIME_DIR to a private directory");
}

// R/G under the open R, checked; -1 with `error` set, or left empty when
// R/G is simply missing and not to be created.
int openSharedIn(int runtimeFd, const std::string& path, bool create, std::string& error)
{
    if (create && mkdirat(runtimeFd, virtMidiGuid, 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return -1;
    }
    struct stat info {};
    if (fstatat(runtimeFd, virtMidiGuid, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (create || errno != ENOENT)
            error = refusal(path, std::strerror(errno), nullptr);
        return -1;
    }
    if (const char* why = unfitDirectory(info, kOthersMayAccess)) {
        error = refusal(path, why, &info);
        return -1;
    }
    // O_NOFOLLOW refuses a link planted after the look; the same inode proves
    // the look and the open met the same directory.
    const int fd = openat(runtimeFd, virtMidiGuid, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat opened {};
    if (fd >= 0 && fstat(fd, &opened) == 0 && opened.st_dev == info.st_dev && opened.st_ino == info.st_ino)
        return fd;
    error = refusal(path, fd < 0 ? std::strerror(errno) : "it changed while being opened", nullptr);
    if (fd >= 0)
        close(fd);
    return -1;
}

}  // namespace

std::optional<std::string> virtMidiRuntimeDir()
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && *xdg != '\0')
        return checkedRuntimeDir(xdg, "set XDG_RUNTIME_DIR to a private directory of this user");
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

std::optional<VirtMidiSharedDirectory> VirtMidiSharedDirectory::open(const std::string& runtimeDir,
                                                                     bool create, std::string& error)
{
    error.clear();
    const int runtimeFd = ::open(runtimeDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (runtimeFd < 0) {
        error = refusal(runtimeDir, std::strerror(errno), nullptr);
        return std::nullopt;
    }
    const std::string path = virtMidiSharedDir(runtimeDir);
    const int fd = openSharedIn(runtimeFd, path, create, error);
    close(runtimeFd);
    if (fd < 0)
        return std::nullopt;
    return VirtMidiSharedDirectory(fd, path);
}

VirtMidiSharedDirectory::VirtMidiSharedDirectory(VirtMidiSharedDirectory&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_))
{
    other.fd_ = -1;
}

VirtMidiSharedDirectory& VirtMidiSharedDirectory::operator=(VirtMidiSharedDirectory&& other) noexcept
{
    std::swap(fd_, other.fd_);
    std::swap(path_, other.path_);
    return *this;
}

VirtMidiSharedDirectory::~VirtMidiSharedDirectory()
{
    if (fd_ >= 0)
        close(fd_);
}

bool virtMidiSocketPathAddress(const std::string& path, sockaddr_un& address, std::string& error)
{
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

bool virtMidiSocketAddress(const std::string& runtimeDir, std::string_view portName,
                           sockaddr_un& address, std::string& error)
{
    const std::string name(portName);
    if (!virtMidiSocketPathAddress(virtMidiSharedDir(runtimeDir) + "/" + name, address, error))
        return false;
    const auto dir = VirtMidiSharedDirectory::open(runtimeDir, false, error);
    if (!dir)
        return error.empty();  // missing: no server ever ran here, as connect() says
    // connect() would follow a symbolic link; only a socket is worth trying.
    struct stat info {};
    if (fstatat(dir->fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISSOCK(info.st_mode)) {
        error = std::string(address.sun_path) + " is not a socket";
        return false;
    }
    return true;
}

}  // namespace corvello
