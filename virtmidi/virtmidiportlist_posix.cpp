#include "virtmidi/virtmidiportlist.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DebugOutput.h"
#include "virtmidi/virtmidipaths.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

namespace {

void reportFailure(const std::string& what, const std::string& path)
{
    debugOutput(("Virtual MIDI: cannot " + what + " " + path + ": " + std::strerror(errno) + "\n")
                    .c_str());
}

// The counterpart of deleting the registry key: nothing of an earlier run,
// neither its list nor its stale sockets, survives into this one.
void emptyDirectory(const std::string& dir)
{
    DIR* stream = opendir(dir.c_str());
    if (stream == nullptr) {
        reportFailure("open", dir);
        return;
    }
    while (const dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (unlinkat(dirfd(stream), name.c_str(), 0) != 0)
            reportFailure("remove", dir + "/" + name);
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

// Temp file and rename, so a reader sees the old list, no list, or the
// whole new one, never a part.
void writeAtomically(const std::string& dir, const std::string& path, const std::string& bytes)
{
    std::string temp = dir + "/.ports.XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        reportFailure("create", temp);
        return;
    }
    const bool written = writeAll(fd, bytes) && fchmod(fd, 0600) == 0;
    if (close(fd) != 0 || !written) {
        reportFailure("write", temp);
        unlink(temp.c_str());
        return;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        reportFailure("publish", path);
        unlink(temp.c_str());
    }
}

// Anything but a regular file of sane size (a directory, a device, a file
// someone filled) reads as no list, like a missing registry value.
std::string readPortsFile(const std::string& path)
{
    constexpr off_t kLargestList = 64 * 1024;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
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

void virtMidiPublishPortList(const std::string& encodedList)
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir)
        return;
    const std::string dir = virtMidiSharedDir(*runtimeDir);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        reportFailure("create", dir);
        return;
    }
    emptyDirectory(dir);
    writeAtomically(dir, virtMidiPortsPath(*runtimeDir), encodedList);
}

std::vector<std::string> virtMidiReadPortList()
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir)
        return {};
    const std::string bytes = readPortsFile(virtMidiPortsPath(*runtimeDir));
    return virtMidiDecodePortList(bytes.data(), bytes.size());
}

}  // namespace corvello
