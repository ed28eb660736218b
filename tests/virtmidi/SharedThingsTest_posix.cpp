// The shared things as files and sockets under the runtime directory.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/virtmidi/ServerFixture.h"
#include "virtmidi/virtmidipaths.h"
#include "virtmidi/virtmidiportlist.h"

namespace corvello::test {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A socket left behind by a server that was killed, bound and then closed.
void leaveStaleSocket(const fs::path& path)
{
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(fd);
}

TEST(VirtMidiSharedFiles, ThePortsFileHoldsTheListAndNoStaleSocketSurvivesButNothingElseIsRemoved)
{
    isolateSharedThings();
    const std::string runtimeDir = *virtMidiRuntimeDir();
    const fs::path dir = virtMidiSharedDir(runtimeDir);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_all);
    leaveStaleSocket(dir / "Old port");
    std::ofstream(dir / "ports") << "Old port";
    std::ofstream(dir / "notes") << "not the server's";

    Recorder recorder;
    ASSERT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
    EXPECT_EQ(readFile(virtMidiPortsPath(runtimeDir)), std::string("Swivo 1\0Swivo 2\0Tamberlin\0\0", 27));
    EXPECT_FALSE(fs::exists(dir / "Old port"));
    EXPECT_EQ(readFile(dir / "notes"), "not the server's");
    EXPECT_TRUE(fs::is_socket(dir / "Swivo 1"));
    EXPECT_TRUE(fs::is_socket(dir / "Tamberlin"));

    virtMidiServerStop();
    EXPECT_FALSE(fs::exists(dir / "Swivo 1"));
    EXPECT_TRUE(fs::exists(virtMidiPortsPath(runtimeDir)));
}

// Whatever stands where the list should be, a reader gets a list or none.
TEST(VirtMidiSharedFiles, APortsEntryThatIsNoListReadsAsNoPorts)
{
    isolateSharedThings();
    const std::string runtimeDir = *virtMidiRuntimeDir();
    const fs::path ports = virtMidiPortsPath(runtimeDir);
    fs::remove_all(ports);
    fs::create_directories(ports);  // a directory where the file belongs
    fs::permissions(ports.parent_path(), fs::perms::owner_all);  // a proper R/G around it
    EXPECT_TRUE(virtMidiReadPortList().empty());

    fs::remove_all(ports);
    std::ofstream(ports, std::ios::binary) << std::string(1 << 20, 'x');  // far larger than any list
    EXPECT_TRUE(virtMidiReadPortList().empty());
    fs::remove(ports);
}

// A client probing for the server holds a shared lock for a moment; a
// server starting just then must not take it for another server.
TEST(VirtMidiSharedFiles, AClientProbingTheLockDoesNotKeepTheServerFromStarting)
{
    isolateSharedThings();
    const std::string lockPath = virtMidiLockPath(*virtMidiRuntimeDir());
    const int probe = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(probe, 0);
    ASSERT_EQ(flock(probe, LOCK_SH | LOCK_NB), 0);
    std::thread releaser([probe] {
        std::this_thread::sleep_for(30ms);
        close(probe);
    });
    Recorder recorder;
    EXPECT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
    releaser.join();
    virtMidiServerStop();
}

TEST(VirtMidiSharedFiles, APortWhoseSocketPathIsTooLongFailsClearlyAndAloneOnBothSides)
{
    isolateSharedThings();
    const std::string longName(sizeof(sockaddr_un::sun_path), 'x');
    const char* const names[] = {"Swivo 1", longName.c_str(), nullptr};
    Recorder recorder;
    ASSERT_TRUE(virtMidiServerStart(names, &Recorder::receive, &recorder));

    std::string error;
    EXPECT_EQ(VirtMidiClientPipe::connect(longName, error), nullptr);
    EXPECT_NE(error.find("socket path longer than"), std::string::npos) << error;
    auto client = connectClient("Swivo 1");
    ASSERT_TRUE(client);
    ASSERT_TRUE(clientCountReaches(0, 1));
    virtMidiServerStop();
}

// A port whose socket cannot be made yet is retried, not given up.
TEST(VirtMidiSharedFiles, APortThatCannotListenYetIsRetriedWhileTheOthersServe)
{
    isolateSharedThings();
    const char* const names[] = {"Swivo 1", "later/port", nullptr};
    Recorder recorder;
    ASSERT_TRUE(virtMidiServerStart(names, &Recorder::receive, &recorder));
    std::string error;
    EXPECT_EQ(VirtMidiClientPipe::connect("later/port", error), nullptr);
    auto client = connectClient("Swivo 1");
    ASSERT_TRUE(client);

    fs::create_directory(fs::path(virtMidiSharedDir(*virtMidiRuntimeDir())) / "later");
    EXPECT_TRUE(eventually([] {
        std::string ignored;
        return VirtMidiClientPipe::connect("later/port", ignored) != nullptr;
    }));
    virtMidiServerStop();
}

// Clients that arrive all at once, as when a DAW opens every port of a large
// session, each connecting without waiting: none is turned away.
TEST(VirtMidiSharedFiles, ThreeHundredClientsConnectingAtOnceAreAllAccepted)
{
    isolateSharedThings();
    Recorder recorder;
    ASSERT_TRUE(virtMidiServerStart(kPortNames, &Recorder::receive, &recorder));
    sockaddr_un address;
    std::string error;
    ASSERT_TRUE(virtMidiSocketAddress(*virtMidiRuntimeDir(), "Swivo 1", address, error)) << error;
    constexpr std::size_t kClients = 300;
    std::vector<int> clients;
    std::size_t refused = 0;
    for (std::size_t i = 0; i < kClients; ++i) {
        const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            ++refused;
        clients.push_back(fd);
    }
    EXPECT_EQ(refused, 0u);
    EXPECT_TRUE(clientCountReaches(0, kClients - refused));
    for (const int fd : clients)
        close(fd);
    EXPECT_TRUE(clientCountReaches(0, 0));
    virtMidiServerStop();
}

}  // namespace
}  // namespace corvello::test
