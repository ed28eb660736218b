// The virtual MIDI server over SOCK_SEQPACKET Unix sockets: one listening
// socket per port at R/G/<name>, one accepted connection per client, and one
// thread that polls them all plus a self-pipe for wake-ups and stop.
//
// Decisions:
// - The listening sockets are made before start returns, so a client may
//   connect as soon as start reports success.
// - The per-port client lists are changed only on the server thread, under
//   `clientsMutex`. A send holds the same mutex while it writes, so it never
//   writes to a descriptor that is being closed. The receiver is called
//   without the mutex held: it may send from inside the receive path.
// - A send never blocks: it is written with MSG_DONTWAIT, and a client whose
//   socket buffer is full loses that message (reported once per client).
// - A listening socket that cannot be made, or an accept that fails for lack
//   of resources, is reported and retried after a pause; the port is never
//   polled in a tight loop. A path that cannot fit a socket address is
//   reported once and that port stays closed.
// - Every socket lives in R/G, held open as a descriptor checked to be ours
//   and private; what stands at a socket's name is removed only when it is
//   a socket (a stale one of ours), never followed when a link.
// - Stop ends the thread, closes every socket and removes the socket files.

#include "virtmidi/virtmidipipeserver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/DebugOutput.h"
#include "virtmidi/virtmidipaths.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kListenBacklog = 16;
constexpr auto kRetryPause = std::chrono::milliseconds(250);

void report(const std::string& text) { debugOutput(("Virtual MIDI: " + text + "\n").c_str()); }

std::string systemError() { return std::strerror(errno); }

struct Client {
    int fd;
    bool dropReported = false;
};

struct Listener {
    std::string name;
    std::optional<sockaddr_un> address;  // none when the path does not fit
    int fd = -1;
    Clock::time_point idleUntil{};       // not polled or retried before this
    bool failing = false;
};

// What one poll entry stands for.
struct PollTarget {
    enum class Kind { wake, listener, client } kind;
    std::int32_t port;
};

class SocketPipeServer final : public VirtMidiPipeServer {
public:
    std::size_t maxPorts() const override { return SIZE_MAX; }
    bool start(const std::vector<std::string>& portNames, VirtMidiReceiver receiver,
               void* context) override;
    void send(std::int32_t port, const std::uint8_t* bytes, std::int32_t length) override;
    std::size_t clientCount(std::int32_t port) override;
    void stop() override;

private:
    void run();
    void openListener(Listener& listener);
    void acceptClient(std::int32_t port);
    void readClient(std::int32_t port, int fd);
    void dropClient(std::int32_t port, int fd);
    void pollOnce();
    int nextTimeoutMs(Clock::time_point now) const;
    void closeEverything();
    void removeSocketFile(const std::string& name);

    std::optional<VirtMidiSharedDirectory> dir_;
    VirtMidiReceiver receiver_ = nullptr;
    void* context_ = nullptr;
    std::vector<Listener> listeners_;      // server thread only, once started
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;

    std::mutex clientsMutex_;
    std::vector<std::vector<Client>> clients_;  // per port
    std::vector<std::uint8_t> readBuffer_ = std::vector<std::uint8_t>(virtMidiServerReadSize);
};

bool SocketPipeServer::start(const std::vector<std::string>& portNames, VirtMidiReceiver receiver,
                             void* context)
{
    const auto runtimeDir = virtMidiRuntimeDir();
    if (!runtimeDir)
        return false;
    std::string dirError;
    dir_ = VirtMidiSharedDirectory::open(*runtimeDir, false, dirError);
    if (!dir_) {
        report("cannot serve the ports: " + (dirError.empty() ? virtMidiSharedDir(*runtimeDir) + " is missing" : dirError));
        return false;
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        report("cannot create the wake-up pipe: " + systemError());
        dir_.reset();
        return false;
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    receiver_ = receiver;
    context_ = context;
    stopRequested_ = false;

    listeners_.clear();
    for (const std::string& name : portNames) {
        Listener listener{name, std::nullopt};
        sockaddr_un address;
        std::string error;
        if (virtMidiSocketPathAddress(dir_->path() + "/" + name, address, error))
            listener.address = address;
        else
            report("port \"" + name + "\" stays closed: " + error);
        listeners_.push_back(std::move(listener));
    }
    for (Listener& listener : listeners_)
        openListener(listener);
    {
        std::lock_guard clients(clientsMutex_);
        clients_.assign(listeners_.size(), {});
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void SocketPipeServer::openListener(Listener& listener)
{
    if (!listener.address)
        return;
    const char* path = listener.address->sun_path;
    removeSocketFile(listener.name);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const bool ready = fd >= 0 &&
                       bind(fd, reinterpret_cast<const sockaddr*>(&*listener.address),
                            sizeof *listener.address) == 0 &&
                       listen(fd, kListenBacklog) == 0;
    if (ready) {
        listener.fd = fd;
        if (listener.failing)
            report("port \"" + listener.name + "\" is listening again");
        listener.failing = false;
        return;
    }
    if (!listener.failing)
        report("cannot listen on " + std::string(path) + ": " + systemError() + "; retrying");
    if (fd >= 0)
        close(fd);
    listener.failing = true;
    listener.idleUntil = Clock::now() + kRetryPause;
}

void SocketPipeServer::run()
{
    while (!stopRequested_)
        pollOnce();
    closeEverything();
}

int SocketPipeServer::nextTimeoutMs(Clock::time_point now) const
{
    std::optional<Clock::time_point> next;
    for (const Listener& listener : listeners_)
        if (listener.address && listener.idleUntil > now && (!next || listener.idleUntil < *next))
            next = listener.idleUntil;
    if (!next)
        return -1;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
    return std::max(0, static_cast<int>(wait.count()));
}

void SocketPipeServer::pollOnce()
{
    const auto now = Clock::now();
    for (Listener& listener : listeners_)
        if (listener.address && listener.fd < 0 && listener.idleUntil <= now)
            openListener(listener);

    std::vector<pollfd> fds{{wakeRead_, POLLIN, 0}};
    std::vector<PollTarget> targets{{PollTarget::Kind::wake, -1}};
    for (std::size_t port = 0; port < listeners_.size(); ++port) {
        const Listener& listener = listeners_[port];
        if (listener.fd >= 0 && listener.idleUntil <= now) {
            fds.push_back({listener.fd, POLLIN, 0});
            targets.push_back({PollTarget::Kind::listener, static_cast<std::int32_t>(port)});
        }
        for (const Client& client : clients_[port]) {
            fds.push_back({client.fd, POLLIN, 0});
            targets.push_back({PollTarget::Kind::client, static_cast<std::int32_t>(port)});
        }
    }
    if (poll(fds.data(), fds.size(), nextTimeoutMs(now)) < 0) {
        if (errno != EINTR) {
            report("poll failed: " + systemError());
            std::this_thread::sleep_for(kRetryPause);
        }
        return;
    }
    for (std::size_t i = 0; i < fds.size() && !stopRequested_; ++i) {
        if (fds[i].revents == 0)
            continue;
        switch (targets[i].kind) {
        case PollTarget::Kind::wake: {
            char drain[64];
            while (read(wakeRead_, drain, sizeof drain) > 0) {
            }
            break;
        }
        case PollTarget::Kind::listener:
            acceptClient(targets[i].port);
            break;
        case PollTarget::Kind::client:
            readClient(targets[i].port, fds[i].fd);
            break;
        }
    }
}

void SocketPipeServer::acceptClient(std::int32_t port)
{
    Listener& listener = listeners_[port];
    const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
        std::lock_guard clients(clientsMutex_);
        clients_[port].push_back({fd});
        return;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED)
        return;
    // Out of descriptors or memory: the pending client stays queued, so wait
    // before looking at this port again instead of spinning on it.
    report("cannot accept a client of port \"" + listener.name + "\": " + systemError() +
           "; retrying");
    listener.idleUntil = Clock::now() + kRetryPause;
}

void SocketPipeServer::readClient(std::int32_t port, int fd)
{
    const ssize_t n = recv(fd, readBuffer_.data(), readBuffer_.size(), MSG_TRUNC);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    // Zero bytes is either the client's end or a zero-length message; both
    // end the connection, as does a message the buffer cannot hold.
    if (n <= 0 || static_cast<std::size_t>(n) > readBuffer_.size()) {
        if (n > 0)
            report("a client of port \"" + listeners_[port].name + "\" sent " + std::to_string(n) +
                   " bytes, more than " + std::to_string(readBuffer_.size()) + "; disconnected");
        dropClient(port, fd);
        return;
    }
    receiver_(context_, port, readBuffer_.data(), static_cast<std::int32_t>(n));
}

void SocketPipeServer::dropClient(std::int32_t port, int fd)
{
    std::lock_guard clients(clientsMutex_);
    auto& list = clients_[port];
    std::erase_if(list, [fd](const Client& client) { return client.fd == fd; });
    close(fd);
}

void SocketPipeServer::send(std::int32_t port, const std::uint8_t* bytes, std::int32_t length)
{
    std::lock_guard clients(clientsMutex_);
    if (port < 0 || static_cast<std::size_t>(port) >= clients_.size())
        return;
    for (Client& client : clients_[port]) {
        if (::send(client.fd, bytes, static_cast<std::size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0)
            continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && !client.dropReported) {
            report("a client of port " + std::to_string(port) +
                   " is not reading; messages for it are dropped");
            client.dropReported = true;
        }
    }
}

void SocketPipeServer::closeEverything()
{
    for (Listener& listener : listeners_) {
        if (listener.fd >= 0) {
            close(listener.fd);
            removeSocketFile(listener.name);
        }
        listener.fd = -1;
    }
    std::lock_guard clients(clientsMutex_);
    for (auto& list : clients_)
        for (const Client& client : list)
            close(client.fd);
    clients_.clear();
}

void SocketPipeServer::removeSocketFile(const std::string& name)
{
    struct stat info {};
    if (fstatat(dir_->fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(info.st_mode))
        unlinkat(dir_->fd(), name.c_str(), 0);
}

void SocketPipeServer::stop()
{
    if (!thread_.joinable())
        return;
    stopRequested_ = true;
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = write(wakeWrite_, &wake, 1);
    thread_.join();
    close(wakeRead_);
    close(wakeWrite_);
    wakeRead_ = wakeWrite_ = -1;
    listeners_.clear();
    dir_.reset();
}

std::size_t SocketPipeServer::clientCount(std::int32_t port)
{
    std::lock_guard clients(clientsMutex_);
    if (port < 0 || static_cast<std::size_t>(port) >= clients_.size())
        return 0;
    return clients_[port].size();
}

}  // namespace

VirtMidiPipeServer& virtMidiPipeServer()
{
    static auto* instance = new SocketPipeServer;
    return *instance;
}

}  // namespace corvello
