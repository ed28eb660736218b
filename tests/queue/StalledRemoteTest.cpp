// A remote that stops reading must not stall the DAW. Whole processes: a real
// `corvello` (started here with a private XDG_RUNTIME_DIR, stopped by PID),
// a remote made of a raw loopback socket in this process that does the port
// preamble, selects Mackie Control, asks for the process list again and
// again (desktop replies take the queue's path too) and never reads, and the
// DAW's side of the "Tamberlin" port as a real pipe client in this process.
//
// The remote's socket advertises a tiny segment size and receive buffer, so
// the kernel's buffers for the connection fill within seconds. The link is
// known to be stalled once corvello reports a packet it gave up on; from then
// on the remote still reads nothing, and the DAW must finish many more
// writes than its pipe can buffer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/WireFormat.h"
#include "tests/support/ChildProcess.h"
#include "virtmidi/virtmidiclient.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;

// Enough writes to fill the pipe many times over: a few hundred small
// messages already fill a port's socket buffer.
constexpr long kWritesWhileStalled = 5000;

std::vector<std::uint8_t> packetOf(const std::vector<MessageRecord>& records)
{
    std::vector<std::uint8_t> bytes;
    wire::writeRecords(records, [&](std::span<const std::uint8_t> p) { bytes.insert(bytes.end(), p.begin(), p.end()); });
    return bytes;
}

// Connects, does the preamble and selects Mackie Control; reads nothing after that.
int connectStalledRemote(std::uint16_t port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int tiny = 88;
    setsockopt(fd, IPPROTO_TCP, TCP_MAXSEG, &tiny, sizeof tiny);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return -1;
    std::uint8_t theirs[2];
    const std::uint8_t ours[2] = {9, 0};  // a metering port nobody reads (discard)
    if (recv(fd, theirs, 2, MSG_WAITALL) != 2 || send(fd, ours, 2, 0) != 2)
        return -1;
    auto select = packetOf({MessageRecord::number(186, 1, 1.0f)});
    send(fd, select.data(), select.size(), 0);
    fcntl(fd, F_SETFL, O_NONBLOCK);  // its later requests may find its own buffer full
    return fd;
}

std::vector<std::uint8_t> lcdMessage(long i)
{
    std::vector<std::uint8_t> sysex{0xF0, 0x00, 0x00, 0x66, 0x14, 0x12, static_cast<std::uint8_t>(i % 112)};
    for (char c : std::to_string(i))
        sysex.push_back(static_cast<std::uint8_t>(c));
    sysex.push_back(0xF7);
    return sysex;
}

TEST(StalledRemote, TheDawsWritesGoOnWhileTheRemoteReadsNothing)
{
    char pattern[] = "/tmp/corvello-stall-XXXXXX";
    const std::string runtimeDir = mkdtemp(pattern);
    setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);  // where this process's pipe client looks
    ChildProcess corvello({CORVELLO_BIN}, {"XDG_RUNTIME_DIR=" + runtimeDir, "AVAHI_COMPAT_NOWARN=1"});
    auto line = corvello.waitForErrorLine("listening for the remote on TCP port", 10s);
    ASSERT_TRUE(line);
    const auto port = static_cast<std::uint16_t>(std::stoi(line->substr(line->rfind(' ') + 1)));

    std::string error;
    auto daw = VirtMidiClientPipe::connect("Tamberlin", error);
    ASSERT_TRUE(daw) << error;
    const int remote = connectStalledRemote(port);
    ASSERT_GE(remote, 0);

    std::atomic<long> writes{0};
    std::atomic<bool> done{false};
    std::thread dawThread([&] {
        for (long i = 0; !done; ++i) {
            auto sysex = lcdMessage(i);
            if (!daw->write(sysex.data(), sysex.size()))
                return;
            ++writes;
            if (writes % 4 == 0)
                std::this_thread::sleep_for(1ms);  // about the pace of a DAW redrawing its displays
        }
    });
    std::thread requests([&] {
        auto listProcesses = packetOf({MessageRecord::withText(210, 14, "")});
        while (!done) {
            send(remote, listProcesses.data(), listProcesses.size(), MSG_NOSIGNAL);
            std::this_thread::sleep_for(20ms);
        }
    });

    const bool stalled = corvello.waitForErrorLine("giving up on packet", 30s).has_value();
    const long atStall = writes;
    bool keptWriting = false;
    for (auto deadline = std::chrono::steady_clock::now() + 30s; stalled && std::chrono::steady_clock::now() < deadline;) {
        if (writes >= atStall + kWritesWhileStalled) {
            keptWriting = true;
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    const long total = writes;

    done = true;
    corvello.stop(SIGKILL, 5s);  // also ends a write that is still blocked
    dawThread.join();
    requests.join();
    close(remote);
    std::filesystem::remove_all(runtimeDir);

    ASSERT_TRUE(stalled) << "the link never stalled; " << total << " DAW writes";
    EXPECT_TRUE(keptWriting) << "the DAW's writes stopped with the remote: " << total - atStall
                             << " after the stall began";
}

}  // namespace
}  // namespace corvello
