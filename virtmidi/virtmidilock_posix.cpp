#include "virtmidi/virtmidilock.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Log.h"
#include "virtmidi/virtmidipaths.h"

namespace corvello {

namespace {

// A client's probe holds a shared lock for a moment, which makes our
// exclusive attempt fail just like a running server would. A server is told
// apart by also refusing a shared lock; a mere probe is waited out.
constexpr int kProbeWaitAttempts = 20;
constexpr auto kProbeWaitPause = std::chrono::milliseconds(5);

class FlockServerLock final : public VirtMidiServerLock {
public:
    explicit FlockServerLock(int fd) : fd_(fd) {}
    ~FlockServerLock() override { close(fd_); }

private:
    int fd_;
};

bool wouldBlock(int error) { return error == EWOULDBLOCK || error == EAGAIN; }

VirtMidiServerLock::Outcome reportFailure(const std::string& path, const char* why)
{
    log::error("Virtual MIDI: cannot lock %s: %s", path.c_str(), why);
    return VirtMidiServerLock::Outcome::unavailable;
}

VirtMidiServerLock::Outcome lockExclusively(int fd, const std::string& path)
{
    using Outcome = VirtMidiServerLock::Outcome;
    for (int attempt = 0; attempt < kProbeWaitAttempts; ++attempt) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return Outcome::acquired;
        if (!wouldBlock(errno))
            return reportFailure(path, std::strerror(errno));
        if (flock(fd, LOCK_SH | LOCK_NB) != 0)
            return wouldBlock(errno) ? Outcome::heldByAnotherServer
                                     : reportFailure(path, std::strerror(errno));
        flock(fd, LOCK_UN);
        std::this_thread::sleep_for(kProbeWaitPause);
    }
    return reportFailure(path, "held shared by a process that is not a server");
}

}  // namespace

VirtMidiServerLock::Outcome VirtMidiServerLock::acquire(std::unique_ptr<VirtMidiServerLock>& lock)
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir)
        return Outcome::unavailable;
    const std::string path = virtMidiLockPath(*runtimeDir);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return reportFailure(path, std::strerror(errno));
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        close(fd);
        return reportFailure(path, "not a file of this user");
    }
    const Outcome outcome = lockExclusively(fd, path);
    if (outcome == Outcome::acquired)
        lock = std::make_unique<FlockServerLock>(fd);
    else
        close(fd);
    return outcome;
}

bool virtMidiServerRunning()
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir)
        return false;
    const int fd = open(virtMidiLockPath(*runtimeDir).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && wouldBlock(errno);
    close(fd);  // also drops the probe's shared lock
    return held;
}

}  // namespace corvello
