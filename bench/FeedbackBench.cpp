// Feedback between the remote and the DAW through a real corvello, next to
// the floor: a relay process that only forwards bytes between a Unix
// sequenced-packet socket (the DAW's side) and a TCP socket (the remote's),
// measured in the same run. Prints figures and asserts nothing.
//
// corvello runs as a child with a private XDG_RUNTIME_DIR. The remote is a
// raw TCP socket (with TCP_NODELAY) and a UDP socket for meters in this
// process, speaking the link's wire format after the port preamble, with
// Mackie Control selected; the DAW is a real pipe client of "Tamberlin".
// A fader position or meter level carries a sequence number, so each arrival
// is matched with the moment its value was written.
//
//   feedback_bench <path to corvello> [runs]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/WireFormat.h"
#include "tests/support/ChildProcess.h"
#include "virtmidi/virtmidiclient.h"

namespace corvello::bench {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kFourteenBitMax = 16383;
constexpr int kMeterLevels = 12;
constexpr int kMeterControl = 8;  // controls 0..7 are faders, 8..15 meters

// One control update seen at one end: which control, the value's code
// (sequence number modulo what the control can carry) and when.
struct Event {
    int control;
    int code;
    Clock::time_point at;
};

class EventLog {
public:
    void add(Event e)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(e);
    }
    std::vector<Event> take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }

private:
    std::mutex mutex_;
    std::vector<Event> events_;
};

// Channel messages E0-E7 (a fader) and D0 (a meter) in a byte stream.
void decodeMidi(const std::uint8_t* bytes, std::size_t length, Clock::time_point at, EventLog& log)
{
    for (std::size_t i = 0; i < length;) {
        std::uint8_t status = bytes[i];
        if (status >= 0xE0 && status <= 0xE7 && i + 2 < length) {
            log.add({status - 0xE0, bytes[i + 1] | bytes[i + 2] << 7, at});
            i += 3;
        } else if (status == 0xD0 && i + 1 < length) {
            log.add({kMeterControl + (bytes[i + 1] >> 4), bytes[i + 1] & 0x0F, at});
            i += 2;
        } else {
            ++i;
        }
    }
}

std::vector<std::uint8_t> faderMessage(int strip, int position)
{
    return {static_cast<std::uint8_t>(0xE0 + strip), static_cast<std::uint8_t>(position & 0x7F),
            static_cast<std::uint8_t>((position >> 7) & 0x7F)};
}

std::vector<std::uint8_t> meterMessage(int strip, int level)
{
    return {0xD0, static_cast<std::uint8_t>(strip << 4 | level)};
}

// The two ends of one hop: the DAW's and the remote's.
class Hop {
public:
    virtual ~Hop() = default;
    virtual void dawWrite(const std::vector<std::uint8_t>& midi) = 0;
    virtual void remoteMovesFader(int strip, int position) = 0;
    virtual pid_t pid() const = 0;
    EventLog atRemote;  // what reached the remote
    EventLog atDaw;     // what reached the DAW
};

int tcpConnect(std::uint16_t port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

void sendAll(int fd, const std::uint8_t* bytes, std::size_t length)
{
    while (length > 0) {
        ssize_t n = send(fd, bytes, length, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
}

// Runs `read` on its own thread until the object goes.
class Reader {
public:
    explicit Reader(std::function<bool()> read) : thread_([read] { while (read()) {} }) {}
    ~Reader() { thread_.join(); }

private:
    std::thread thread_;
};

class CorvelloHop : public Hop {
public:
    explicit CorvelloHop(const std::string& corvelloPath)
    {
        char pattern[] = "/tmp/corvello-bench-XXXXXX";
        runtimeDir_ = mkdtemp(pattern);
        setenv("XDG_RUNTIME_DIR", runtimeDir_.c_str(), 1);
        corvello_ = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{corvelloPath}, std::vector<std::string>{"XDG_RUNTIME_DIR=" + runtimeDir_});
        auto line = corvello_->waitForErrorLine("listening for the remote on TCP port", 10s);
        if (!line)
            throw std::runtime_error("corvello did not start");
        port_ = static_cast<std::uint16_t>(std::stoi(line->substr(line->rfind(' ') + 1)));
        std::string error;
        for (int attempt = 0; !daw_ && attempt < 50; ++attempt) {
            daw_ = VirtMidiClientPipe::connect("Tamberlin", error);
            if (!daw_)
                std::this_thread::sleep_for(100ms);
        }
        if (!daw_)
            throw std::runtime_error("no DAW port: " + error);
        dawReader_ = std::make_unique<Reader>([this] {
            std::array<std::uint8_t, virtMidiClientReadSize> buffer;
            std::string reason;
            auto n = daw_->read(buffer, reason);
            if (!n)
                return false;
            decodeMidi(buffer.data(), *n, Clock::now(), atDaw);
            return true;
        });
    }

    ~CorvelloHop() override
    {
        disconnectRemote();
        corvello_->stop(SIGTERM, 5s);
        daw_->write(nullptr, 0);  // ends the connection, so the reader's wait ends
        dawReader_.reset();
        corvello_.reset();
        std::filesystem::remove_all(runtimeDir_);
    }

    // The remote connects, does the preamble and selects Mackie Control.
    void connectRemote()
    {
        metering_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(metering_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        socklen_t size = sizeof local;
        getsockname(metering_, reinterpret_cast<sockaddr*>(&local), &size);
        const std::uint16_t meteringPort = ntohs(local.sin_port);

        link_ = tcpConnect(port_);
        std::uint8_t theirs[2];
        const std::uint8_t ours[2] = {static_cast<std::uint8_t>(meteringPort), static_cast<std::uint8_t>(meteringPort >> 8)};
        if (link_ < 0 || recv(link_, theirs, 2, MSG_WAITALL) != 2 || send(link_, ours, 2, 0) != 2)
            throw std::runtime_error("no link to corvello");
        remoteReaders_.push_back(std::make_unique<Reader>([this] { return readRemote(link_, linkBuffer_); }));
        remoteReaders_.push_back(std::make_unique<Reader>([this] { return readRemote(metering_, meteringBuffer_); }));
        sendRecords({MessageRecord::number(kHostSelectionKind, 1, 1.0f)});
        std::this_thread::sleep_for(200ms);  // the protocol is in place and has greeted the DAW
        atDaw.take();
    }

    void disconnectRemote()
    {
        if (link_ < 0)
            return;
        shutdown(link_, SHUT_RDWR);
        shutdown(metering_, SHUT_RDWR);
        remoteReaders_.clear();
        close(link_);
        close(metering_);
        link_ = metering_ = -1;
    }

    void dawWrite(const std::vector<std::uint8_t>& midi) override { daw_->write(midi.data(), midi.size()); }

    void remoteMovesFader(int strip, int position) override
    {
        // Half a step up, as the protocol truncates to its 14 bits.
        sendRecords({MessageRecord::number(kFaderKind, strip, (position + 0.5f) / kFourteenBitMax)});
    }

    pid_t pid() const override { return corvello_->pid(); }

private:
    void sendRecords(const std::vector<MessageRecord>& records)
    {
        wire::writeRecords(records, [&](std::span<const std::uint8_t> p) { sendAll(link_, p.data(), p.size()); });
    }

    bool readRemote(int fd, std::vector<std::uint8_t>& buffer)
    {
        std::uint8_t chunk[65536];
        ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        Clock::time_point at = Clock::now();
        buffer.insert(buffer.end(), chunk, chunk + n);
        wire::parseStream(buffer, [&](const MessageRecord& r) {
            if (r.kind == kFaderKind && r.index >= 0 && r.index < 8)
                atRemote.add({r.index, static_cast<int>(std::lround(r.value * kFourteenBitMax)), at});
            else if (r.kind == kFirstMeterKind && r.index >= 0 && r.index < 8)
                atRemote.add({kMeterControl + r.index, static_cast<int>(std::lround(r.value * kMeterLevels)), at});
        });
        return true;
    }

    std::string runtimeDir_;
    std::unique_ptr<test::ChildProcess> corvello_;
    std::uint16_t port_ = 0;
    std::unique_ptr<VirtMidiClientPipe> daw_;
    std::unique_ptr<Reader> dawReader_;
    int link_ = -1, metering_ = -1;
    std::vector<std::uint8_t> linkBuffer_, meteringBuffer_;
    std::vector<std::unique_ptr<Reader>> remoteReaders_;
};

// The floor: a child process that forwards bytes both ways between a
// sequenced-packet socket and a TCP socket, one blocking poll loop.
class RelayHop : public Hop {
public:
    RelayHop()
    {
        int pair[2];
        socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair);
        int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener, 1);
        socklen_t size = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        remote_ = tcpConnect(ntohs(address.sin_port));
        int relayTcp = accept(listener, nullptr, nullptr);
        int one = 1;
        setsockopt(relayTcp, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        close(listener);

        pid_ = fork();
        if (pid_ == 0) {
            close(pair[0]);
            close(remote_);
            relay(pair[1], relayTcp);
            _exit(0);
        }
        close(pair[1]);
        close(relayTcp);
        daw_ = pair[0];
        dawReader_ = std::make_unique<Reader>([this] { return readInto(daw_, atDaw); });
        remoteReader_ = std::make_unique<Reader>([this] { return readInto(remote_, atRemote); });
    }

    ~RelayHop() override
    {
        shutdown(daw_, SHUT_RDWR);
        shutdown(remote_, SHUT_RDWR);
        dawReader_.reset();
        remoteReader_.reset();
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        close(daw_);
        close(remote_);
    }

    void dawWrite(const std::vector<std::uint8_t>& midi) override { send(daw_, midi.data(), midi.size(), MSG_NOSIGNAL); }
    void remoteMovesFader(int strip, int position) override
    {
        auto midi = faderMessage(strip, position);
        sendAll(remote_, midi.data(), midi.size());
    }
    pid_t pid() const override { return pid_; }

private:
    static void relay(int packets, int stream)
    {
        std::uint8_t buffer[65536];
        pollfd fds[2] = {{packets, POLLIN, 0}, {stream, POLLIN, 0}};
        while (poll(fds, 2, -1) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    return;
                sendAll(fds[1 - i].fd, buffer, static_cast<std::size_t>(n));
            }
        }
    }

    static bool readInto(int fd, EventLog& log)
    {
        std::uint8_t buffer[65536];
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        decodeMidi(buffer, static_cast<std::size_t>(n), Clock::now(), log);
        return true;
    }

    pid_t pid_ = -1;
    int daw_ = -1, remote_ = -1;
    std::unique_ptr<Reader> dawReader_, remoteReader_;
};

// ---- figures ----

struct Percentiles {
    double p50 = 0, p90 = 0, p99 = 0, max = 0;
    std::size_t count = 0;
};

Percentiles percentiles(std::vector<double> values)
{
    Percentiles p;
    p.count = values.size();
    if (values.empty())
        return p;
    std::sort(values.begin(), values.end());
    auto at = [&](double q) { return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))]; };
    p.p50 = at(0.5);
    p.p90 = at(0.9);
    p.p99 = at(0.99);
    p.max = values.back();
    return p;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void printRow(const char* what, const Percentiles& corvello, const Percentiles& floor)
{
    std::printf("%-44s corvello p50 %7.3f p90 %7.3f p99 %7.3f max %7.3f ms (n=%zu) | floor p50 %7.3f p90 %7.3f p99 "
                "%7.3f max %7.3f ms\n",
                what, corvello.p50, corvello.p90, corvello.p99, corvello.max, corvello.count, floor.p50, floor.p90,
                floor.p99, floor.max);
    std::fflush(stdout);
}

// The first arrival of each code of `control`, against when that code was sent.
std::vector<double> latencies(const std::vector<Event>& arrivals, int control,
                              const std::map<int, Clock::time_point>& sent)
{
    std::vector<double> out;
    std::map<int, bool> seen;
    for (const Event& e : arrivals) {
        if (e.control != control || seen[e.code])
            continue;
        seen[e.code] = true;
        if (auto s = sent.find(e.code); s != sent.end())
            out.push_back(ms(e.at - s->second));
    }
    return out;
}

void settle(Hop& hop)
{
    std::this_thread::sleep_for(100ms);
    hop.atDaw.take();
    hop.atRemote.take();
}

// The remote moves a fader every `gap`; each move's first arrival at the DAW.
std::vector<double> remoteToDaw(Hop& hop, int samples, Clock::duration gap)
{
    settle(hop);
    std::map<int, Clock::time_point> sent;
    for (int seq = 0; seq < samples; ++seq) {
        sent[seq] = Clock::now();
        hop.remoteMovesFader(0, seq);
        std::this_thread::sleep_for(gap);
    }
    std::this_thread::sleep_for(200ms);
    return latencies(hop.atDaw.take(), 0, sent);
}

// The DAW moves fader 0 every `gap` for `samples` moves; the age of each
// value that reaches the remote. With `remoteMoves` the remote moves fader 7
// at 50 Hz meanwhile.
std::vector<double> dawToRemote(Hop& hop, int samples, Clock::duration gap, bool remoteMoves)
{
    settle(hop);
    std::atomic<bool> done{false};
    std::thread user([&] {
        for (int i = 0; remoteMoves && !done; ++i) {
            hop.remoteMovesFader(7, i % 1000);
            std::this_thread::sleep_for(20ms);
        }
    });
    std::map<int, Clock::time_point> sent;
    auto next = Clock::now();
    for (int seq = 0; seq < samples; ++seq) {
        sent[seq] = Clock::now();
        hop.dawWrite(faderMessage(0, seq));
        next += gap;
        std::this_thread::sleep_until(next);
    }
    std::this_thread::sleep_for(200ms);
    done = true;
    user.join();
    return latencies(hop.atRemote.take(), 0, sent);
}

struct LoadFigures {
    double updatesPerSecond = 0;
    Percentiles staleness;
};

// 8 faders and 8 meters change at 100 Hz each for `duration`. Staleness:
// sampled every millisecond for every control, how long ago the DAW wrote
// the value the remote shows.
LoadFigures sixteenControls(Hop& hop, Clock::duration duration)
{
    settle(hop);
    constexpr int kControls = 16;
    std::vector<std::vector<std::pair<Clock::time_point, int>>> sent(kControls);  // (when, code)
    const auto start = Clock::now();
    auto next = start;
    for (int seq = 0; Clock::now() - start < duration; ++seq) {
        for (int strip = 0; strip < 8; ++strip) {
            const int position = seq % (kFourteenBitMax + 1), level = seq % (kMeterLevels + 1);
            const auto at = Clock::now();
            sent[strip].push_back({at, position});
            hop.dawWrite(faderMessage(strip, position));
            sent[kMeterControl + strip].push_back({at, level});
            hop.dawWrite(meterMessage(strip, level));
        }
        next += 10ms;
        std::this_thread::sleep_until(next);
    }
    const auto end = Clock::now();
    std::this_thread::sleep_for(200ms);
    std::vector<Event> arrivals = hop.atRemote.take();

    // Each arrival shows the latest value written with its code, at or before its arrival.
    std::vector<std::vector<std::pair<Clock::time_point, Clock::time_point>>> shown(kControls);  // (arrival, written)
    std::size_t counted = 0;
    for (const Event& e : arrivals) {
        if (e.control < 0 || e.control >= kControls || e.at > end)
            continue;
        ++counted;
        const auto& history = sent[static_cast<std::size_t>(e.control)];
        for (auto it = history.rbegin(); it != history.rend(); ++it)
            if (it->first <= e.at && it->second == e.code) {
                shown[static_cast<std::size_t>(e.control)].push_back({e.at, it->first});
                break;
            }
    }
    std::vector<double> staleness;
    for (auto& control : shown) {
        std::size_t i = 0;
        for (auto t = start + 100ms; t < end && !control.empty(); t += 1ms) {
            while (i + 1 < control.size() && control[i + 1].first <= t)
                ++i;
            if (control[i].first <= t)
                staleness.push_back(ms(t - control[i].second));
        }
    }
    return {static_cast<double>(counted) / std::chrono::duration<double>(end - start).count(), percentiles(staleness)};
}

struct IdleFigures {
    double wakeupsPerSecond = 0;
    long rssKilobytes = 0;
};

long statusField(const std::filesystem::path& status, const std::string& name)
{
    std::ifstream in(status);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name + ":", 0) == 0)
            return std::atol(line.c_str() + name.size() + 1);
    return 0;
}

// Context switches of all the process's threads (each is a wake-up, or a
// preemption while running) over `span`, and its resident size.
IdleFigures idle(pid_t pid, Clock::duration span)
{
    auto switches = [pid] {
        long total = 0;
        for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task"))
            total += statusField(task.path() / "status", "voluntary_ctxt_switches") +
                     statusField(task.path() / "status", "nonvoluntary_ctxt_switches");
        return total;
    };
    std::this_thread::sleep_for(1s);  // let start-up and the last test's traffic end
    long before = switches();
    std::this_thread::sleep_for(span);
    long after = switches();
    return {static_cast<double>(after - before) / std::chrono::duration<double>(span).count(),
            statusField("/proc/" + std::to_string(pid) + "/status", "VmRSS")};
}

void printGoal(const char* what, bool met) { std::printf("  goal %-58s %s\n", what, met ? "met" : "NOT met"); }

void run(const std::string& corvelloPath)
{
    constexpr auto kIdleSpan = 10s;
    RelayHop floor;
    CorvelloHop corvello(corvelloPath);

    IdleFigures idleAlone = idle(corvello.pid(), kIdleSpan);
    IdleFigures floorIdle = idle(floor.pid(), kIdleSpan);
    corvello.connectRemote();
    IdleFigures idleLinked = idle(corvello.pid(), kIdleSpan);
    std::printf("idle wake-ups/s: corvello %.1f with no remote, %.1f with a remote and Mackie Control | floor %.1f\n",
                idleAlone.wakeupsPerSecond, idleLinked.wakeupsPerSecond, floorIdle.wakeupsPerSecond);
    std::printf("RSS: corvello %ld kB | floor %ld kB\n", idleLinked.rssKilobytes, floorIdle.rssKilobytes);

    auto upCorvello = percentiles(remoteToDaw(corvello, 300, 10ms));
    auto upFloor = percentiles(remoteToDaw(floor, 300, 10ms));
    printRow("remote to DAW", upCorvello, upFloor);

    auto oneCorvello = percentiles(dawToRemote(corvello, 150, 40ms, false));
    auto oneFloor = percentiles(dawToRemote(floor, 150, 40ms, false));
    printRow("DAW to remote, one update after idle", oneCorvello, oneFloor);

    auto streamCorvello = percentiles(dawToRemote(corvello, 3000, 1ms, false));
    auto streamFloor = percentiles(dawToRemote(floor, 3000, 1ms, false));
    printRow("DAW to remote, streaming at 1 kHz", streamCorvello, streamFloor);

    auto busyCorvello = percentiles(dawToRemote(corvello, 3000, 1ms, true));
    auto busyFloor = percentiles(dawToRemote(floor, 3000, 1ms, true));
    printRow("DAW to remote, streaming, remote sends 50/s", busyCorvello, busyFloor);

    LoadFigures loadCorvello = sixteenControls(corvello, 5s);
    LoadFigures loadFloor = sixteenControls(floor, 5s);
    std::printf("16 controls at 100 Hz: corvello %.0f updates/s reach the remote | floor %.0f\n",
                loadCorvello.updatesPerSecond, loadFloor.updatesPerSecond);
    printRow("16 controls at 100 Hz, staleness shown", loadCorvello.staleness, loadFloor.staleness);

    printGoal("DAW to remote, one update: p50 <= 1 ms", oneCorvello.p50 <= 1.0);
    printGoal("DAW to remote, one update: p99 <= 2.5 ms", oneCorvello.p99 <= 2.5);
    printGoal("DAW to remote with the remote sending: p99 <= 12 ms", busyCorvello.p99 <= 12.0);
    printGoal("remote to DAW: p50 <= 1.2 x floor", upCorvello.p50 <= 1.2 * upFloor.p50);
    printGoal("idle, no remote: 0 wake-ups/s", idleAlone.wakeupsPerSecond < 0.5);
    printGoal("idle, remote and protocol: <= 1 wake-up/s", idleLinked.wakeupsPerSecond <= 1.0);
}

}  // namespace
}  // namespace corvello::bench

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: feedback_bench <path to corvello> [runs]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
    for (int i = 1; i <= runs; ++i) {
        std::printf("--- run %d of %d\n", i, runs);
        try {
            corvello::bench::run(argv[1]);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "feedback_bench: %s\n", e.what());
            return 1;
        }
    }
}
