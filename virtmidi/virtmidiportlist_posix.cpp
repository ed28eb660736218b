#include "virtmidi/virtmidiportlist.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Log.h"
#include "virtmidi/virtmidipaths.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

namespace {

constexpr char kPortsName[] = "ports";
constexpr char kTempPrefix[] = ".ports.";

void reportFailure(const char* what, const std::string& path)
{
    log::error("Virtual MIDI: cannot %s %s: %s", what, path.c_str(), std::strerror(errno));
}

bool isOurLeftover(int dirFd, const char* name)
{
    struct stat info {};
    if (fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    return S_ISSOCK(info.st_mode) ||
           (S_ISREG(info.st_mode) && std::strncmp(name, kTempPrefix, sizeof kTempPrefix - 1) == 0);
}

// The counterpart of deleting the registry key: no stale socket or half
// written list of an earlier run survives into this one. Only what a server
// makes is removed; anything else found there is left alone.
void removeLeftovers(const VirtMidiSharedDirectory& dir)
{
    const int listFd = dup(dir.fd());
    DIR* stream = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (stream == nullptr) {
        reportFailure("list", dir.path());
        if (listFd >= 0)
            close(listFd);
        return;
    }
    while (const dirent* entry = readdir(stream)) {
        if (isOurLeftover(dir.fd(), entry->d_name) && unlinkat(dir.fd(), entry->d_name, 0) != 0)
            reportFailure("remove", dir.path() + "/" + entry->d_name);
    }
    closedir(stream);
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A fresh file in `dir` that did not exist before: its name, or empty.
std::string createTempFile(int dirFd, int& fd)
{
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%08x", kTempPrefix, unsigned(random()));
        fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    return {};
}

// Temp file and rename, so a reader sees the old list, no list, or the
// whole new one, never a part.
void writeAtomically(const VirtMidiSharedDirectory& dir, const std::string& bytes)
{
    int fd = -1;
    const std::string temp = createTempFile(dir.fd(), fd);
    if (temp.empty()) {
        reportFailure("create a file in", dir.path());
        return;
    }
    const bool written = writeAll(fd, bytes);
    if (close(fd) != 0 || !written) {
        reportFailure("write", dir.path() + "/" + temp);
        unlinkat(dir.fd(), temp.c_str(), 0);
        return;
    }
    if (renameat(dir.fd(), temp.c_str(), dir.fd(), kPortsName) != 0) {
        reportFailure("publish", dir.path() + "/" + kPortsName);
        unlinkat(dir.fd(), temp.c_str(), 0);
    }
}

// Anything but a regular file of sane size (a link, a directory, a device, a
// file someone filled) reads as no list, like a missing registry value.
std::string readPortsFile(const VirtMidiSharedDirectory& dir)
{
    constexpr off_t kLargestList = 64 * 1024;
    const int fd = openat(dir.fd(), kPortsName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat info {};
    std::string bytes;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kLargestList) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        const ssize_t n = read(fd, bytes.data(), bytes.size());
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    close(fd);
    return bytes;
}

}  // namespace

bool virtMidiPublishPortList(const std::string& encodedList)
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir)
        return false;
    std::string error;
    const auto dir = VirtMidiSharedDirectory::open(*runtimeDir, true, error);
    if (!dir) {
        log::error("Virtual MIDI: %s; the ports stay closed", error.c_str());
        return false;
    }
    removeLeftovers(*dir);
    writeAtomically(*dir, encodedList);
    return true;
}

std::vector<std::string> virtMidiReadPortList()
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir)
        return {};
    std::string error;
    const auto dir = VirtMidiSharedDirectory::open(*runtimeDir, false, error);
    if (!dir) {
        if (!error.empty())
            log::warning("Virtual MIDI: %s; no ports are listed", error.c_str());
        return {};
    }
    const std::string bytes = readPortsFile(*dir);
    return virtMidiDecodePortList(bytes.data(), bytes.size());
}

}  // namespace corvello
