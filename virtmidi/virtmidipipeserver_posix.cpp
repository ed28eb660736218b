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
// - A send never blocks. What a client's socket cannot take at once waits in
//   that client's backlog, in order, and the server thread writes it as the
//   socket drains. A client is "not reading" only when its backlog has not
//   shrunk for kPatience or would pass its bound; its backlog is dropped, as
//   is every message it cannot take at once, until a write to it succeeds
//   again. Nobody else waits for it.
// - Every socket lives in R/G, held open as a descriptor checked to be ours
//   and private; what stands at a socket's name is removed only when it is
//   a socket (a stale one of ours), never followed when a link.
// - A listening socket that cannot be made, or an accept that fails for lack
//   of resources, is reported and retried after a pause; the port is never
//   polled in a tight loop. A path that cannot fit a socket address is
//   reported once and that port stays closed.
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
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Log.h"
#include "virtmidi/virtmidibacklog.h"
#include "virtmidi/virtmidipaths.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRetryPause = std::chrono::milliseconds(250);
constexpr auto kPatience = std::chrono::seconds(1);
// Asked of the kernel for each client; it grants up to its own limit
// (net.core.wmem_max), and the backlog holds the rest of a burst.
constexpr int kSendBufferBytes = 1024 * 1024;
// Clients that arrive together are taken in one go, up to this many.
constexpr int kAcceptsPerWake = 64;

std::string systemError() { return std::strerror(errno); }

bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

struct Client {
    explicit Client(int socket) : fd(socket) {}

    int fd;
    VirtMidiBacklog backlog;
    Clock::time_point lastProgress{};  // when the backlog last started or shrank
    bool notReading = false;
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
    void acceptClients(std::int32_t port);
    void readClient(std::int32_t port, int fd);
    void dropClient(std::int32_t port, int fd);
    void pollOnce();
    int nextTimeoutMs(Clock::time_point now);
    void closeEverything();
    void removeSocketFile(const std::string& name);
    void wake();

    // Under clientsMutex_.
    Client* findClient(std::int32_t port, int fd);
    void deliver(std::int32_t port, Client& client, const std::uint8_t* bytes, std::size_t length);
    void flushBacklog(Client& client);
    void giveUpOn(std::int32_t port, Client& client, const char* why);
    void giveUpOnStalled(Clock::time_point now);

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
    log::RateLimitedLog clientLog_;
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
        log::error("Virtual MIDI: cannot serve the ports: %s",
                   (dirError.empty() ? virtMidiSharedDir(*runtimeDir) + " is missing" : dirError).c_str());
        return false;
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        log::error("Virtual MIDI: cannot create the wake-up pipe: %s", systemError().c_str());
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
            log::error("Virtual MIDI: port \"%s\" stays closed: %s", name.c_str(), error.c_str());
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
                       listen(fd, SOMAXCONN) == 0;
    if (ready) {
        listener.fd = fd;
        if (listener.failing)
            log::info("Virtual MIDI: port \"%s\" is listening again", listener.name.c_str());
        listener.failing = false;
        return;
    }
    if (!listener.failing)
        log::error("Virtual MIDI: cannot listen on %s: %s; retrying", path, systemError().c_str());
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

// Until the next retry of a listener or the next client that may run out
// of patience; -1 when nothing is due.
int SocketPipeServer::nextTimeoutMs(Clock::time_point now)
{
    std::optional<Clock::time_point> next;
    const auto consider = [&next](Clock::time_point at) {
        if (!next || at < *next)
            next = at;
    };
    for (const Listener& listener : listeners_)
        if (listener.address && listener.idleUntil > now)
            consider(listener.idleUntil);
    {
        std::lock_guard clients(clientsMutex_);
        for (const auto& list : clients_)
            for (const Client& client : list)
                if (!client.backlog.empty())
                    consider(client.lastProgress + kPatience);
    }
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
    giveUpOnStalled(now);

    std::vector<pollfd> fds{{wakeRead_, POLLIN, 0}};
    std::vector<PollTarget> targets{{PollTarget::Kind::wake, -1}};
    {
        std::lock_guard clients(clientsMutex_);
        for (std::size_t port = 0; port < listeners_.size(); ++port) {
            const Listener& listener = listeners_[port];
            if (listener.fd >= 0 && listener.idleUntil <= now) {
                fds.push_back({listener.fd, POLLIN, 0});
                targets.push_back({PollTarget::Kind::listener, static_cast<std::int32_t>(port)});
            }
            for (const Client& client : clients_[port]) {
                const short events = client.backlog.empty() ? POLLIN : POLLIN | POLLOUT;
                fds.push_back({client.fd, events, 0});
                targets.push_back({PollTarget::Kind::client, static_cast<std::int32_t>(port)});
            }
        }
    }
    if (poll(fds.data(), fds.size(), nextTimeoutMs(now)) < 0) {
        if (errno != EINTR) {
            log::error("Virtual MIDI: poll failed: %s", systemError().c_str());
            std::this_thread::sleep_for(kRetryPause);
        }
        return;
    }
    for (std::size_t i = 0; i < fds.size() && !stopRequested_; ++i) {
        const short revents = fds[i].revents;
        if (revents == 0)
            continue;
        switch (targets[i].kind) {
        case PollTarget::Kind::wake: {
            char drain[64];
            while (read(wakeRead_, drain, sizeof drain) > 0) {
            }
            break;
        }
        case PollTarget::Kind::listener:
            acceptClients(targets[i].port);
            break;
        case PollTarget::Kind::client:
            if (revents & POLLOUT) {
                std::lock_guard clients(clientsMutex_);
                if (Client* client = findClient(targets[i].port, fds[i].fd))
                    flushBacklog(*client);
            }
            if (revents & ~POLLOUT)
                readClient(targets[i].port, fds[i].fd);
            break;
        }
    }
}

void SocketPipeServer::acceptClients(std::int32_t port)
{
    Listener& listener = listeners_[port];
    for (int accepted = 0; accepted < kAcceptsPerWake; ++accepted) {
        const int fd = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (wouldBlock(errno) || errno == EINTR || errno == ECONNABORTED)
                return;
            // Out of descriptors or memory: the pending client stays queued,
            // so wait before looking at this port again instead of spinning.
            log::error("Virtual MIDI: cannot accept a client of port \"%s\": %s; retrying",
                       listener.name.c_str(), systemError().c_str());
            listener.idleUntil = Clock::now() + kRetryPause;
            return;
        }
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes);
        std::lock_guard clients(clientsMutex_);
        clients_[port].emplace_back(fd);
    }
}

void SocketPipeServer::readClient(std::int32_t port, int fd)
{
    const ssize_t n = recv(fd, readBuffer_.data(), readBuffer_.size(), MSG_TRUNC);
    if (n < 0 && (wouldBlock(errno) || errno == EINTR))
        return;
    // Zero bytes is either the client's end or a zero-length message; both
    // end the connection, as does a message the buffer cannot hold.
    if (n <= 0 || static_cast<std::size_t>(n) > readBuffer_.size()) {
        if (n > 0)
            clientLog_("Virtual MIDI: a client of port \"%s\" sent %zd bytes, more than %zu; disconnected",
                       listeners_[port].name.c_str(), n, readBuffer_.size());
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

Client* SocketPipeServer::findClient(std::int32_t port, int fd)
{
    auto& list = clients_[port];
    const auto found = std::find_if(list.begin(), list.end(), [fd](const Client& c) { return c.fd == fd; });
    return found == list.end() ? nullptr : &*found;
}

bool sendNow(int fd, const std::uint8_t* bytes, std::size_t length)
{
    return ::send(fd, bytes, length, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0;
}

void SocketPipeServer::deliver(std::int32_t port, Client& client, const std::uint8_t* bytes,
                               std::size_t length)
{
    if (!client.backlog.empty()) {
        if (!client.backlog.push(bytes, length))
            giveUpOn(port, client, "more messages wait for it than it may hold");
        return;
    }
    if (sendNow(client.fd, bytes, length)) {
        if (client.notReading)
            log::debug("Virtual MIDI: a client of port %d reads again", port);
        client.notReading = false;
        return;
    }
    // Any other failure is a client that went away: its read end drops it.
    if (!wouldBlock(errno) || client.notReading)
        return;
    client.backlog.push(bytes, length);
    client.lastProgress = Clock::now();
    wake();  // the server thread now watches the socket for room
}

void SocketPipeServer::flushBacklog(Client& client)
{
    bool progressed = false;
    while (!client.backlog.empty()) {
        const auto message = client.backlog.front();
        if (!sendNow(client.fd, message.data(), message.size())) {
            if (!wouldBlock(errno))
                client.backlog.clear();  // gone; its read end drops it
            break;
        }
        client.backlog.pop();
        progressed = true;
    }
    if (progressed)
        client.lastProgress = Clock::now();
}

void SocketPipeServer::giveUpOn(std::int32_t port, Client& client, const char* why)
{
    clientLog_("Virtual MIDI: a client of port %d is not reading (%s); messages for it are dropped",
               port, why);
    client.backlog.clear();
    client.notReading = true;
}

void SocketPipeServer::giveUpOnStalled(Clock::time_point now)
{
    std::lock_guard clients(clientsMutex_);
    for (std::size_t port = 0; port < clients_.size(); ++port)
        for (Client& client : clients_[port])
            if (!client.backlog.empty() && now - client.lastProgress >= kPatience)
                giveUpOn(static_cast<std::int32_t>(port), client, "it has taken nothing for a second");
}

void SocketPipeServer::send(std::int32_t port, const std::uint8_t* bytes, std::int32_t length)
{
    std::lock_guard clients(clientsMutex_);
    if (port < 0 || static_cast<std::size_t>(port) >= clients_.size())
        return;
    for (Client& client : clients_[port])
        deliver(port, client, bytes, static_cast<std::size_t>(length));
}

void SocketPipeServer::wake()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wakeWrite_, &byte, 1);
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
    wake();
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
