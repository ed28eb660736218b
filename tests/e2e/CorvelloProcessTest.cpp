// Corvello as whole processes: the daemon, the reference remote on its TCP
// link, and DAW-side clients on its virtual MIDI ports. Each test starts its
// own `corvello` with a private XDG_RUNTIME_DIR (so its ports and lock are its
// own), and stops every process it started by PID.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "routing/VersionCode.h"
#include "tests/e2e/MackieControlReady.h"
#include "tests/support/ChildProcess.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::waitForMackieControl;

std::string runtimeDirectory()
{
    char pattern[] = "/tmp/corvello-e2e-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "";
}

class CorvelloProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        runtimeDir = runtimeDirectory();
        ASSERT_FALSE(runtimeDir.empty());
        corvello = startCorvello();
        auto line = corvello->waitForErrorLine("listening for the remote on TCP port", 10s);
        ASSERT_TRUE(line) << "corvello did not report its port";
        port = line->substr(line->rfind(' ') + 1);
    }

    void TearDown() override
    {
        corvello.reset();
        std::filesystem::remove_all(runtimeDir);
    }

    std::vector<std::string> environment() const
    {
        // XDG_CONFIG_HOME too: no settings file of the user's reaches the test.
        return {"XDG_RUNTIME_DIR=" + runtimeDir, "XDG_CONFIG_HOME=" + runtimeDir + "/config", "AVAHI_COMPAT_NOWARN=1"};
    }

    std::unique_ptr<ChildProcess> startCorvello() const
    {
        return std::make_unique<ChildProcess>(std::vector<std::string>{CORVELLO_BIN}, environment());
    }

    // A DAW-side client of one virtual port, connected when this returns.
    std::unique_ptr<ChildProcess> dawPort(const std::string& name) const
    {
        auto client = std::make_unique<ChildProcess>(std::vector<std::string>{PIPECLIENT_BIN, name}, environment());
        EXPECT_TRUE(client->waitForErrorLine("connected to " + name, 5s)) << name;
        return client;
    }

    // The reference remote, sending `script` and printing what comes back
    // for `drainMs` after it.
    std::unique_ptr<ChildProcess> remote(const std::vector<std::string>& script, int drainMs = 400) const
    {
        auto client = std::make_unique<ChildProcess>(
            std::vector<std::string>{REMOTE_BIN, "--drain", std::to_string(drainMs), "127.0.0.1:" + port});
        for (const auto& line : script)
            client->writeLine(line);
        client->closeStdin();
        return client;
    }

    static std::vector<std::string> allLines(ChildProcess& process, std::chrono::milliseconds timeout = 10s)
    {
        std::vector<std::string> lines;
        while (auto line = process.readLine(timeout))
            lines.push_back(*line);
        return lines;
    }

    static std::vector<std::string> linesWithin(ChildProcess& process, std::chrono::milliseconds window)
    {
        std::vector<std::string> lines;
        const auto end = std::chrono::steady_clock::now() + window;
        while (std::chrono::steady_clock::now() < end)
            if (auto line = process.readLine(50ms))
                lines.push_back(*line);
        return lines;
    }

    static bool contains(const std::vector<std::string>& lines, const std::string& text)
    {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }

    std::string runtimeDir;
    std::unique_ptr<ChildProcess> corvello;
    std::string port;
};

const std::string kOwnCode = std::to_string(ownVersionCode());

TEST_F(CorvelloProcessTest, VersionQueryIsAnsweredForCompatibleAndIncompatibleCodes)
{
    // Replies share one (kind, index) entry of the coalescing queue: the
    // waits let each leave before the next arrives.
    auto link = remote({"186 1 1", "wait 100", "216 " + kOwnCode + " 0", "wait 100",
                        "216 " + std::to_string(ownVersionCode() + 32) + " 0"});
    const auto lines = allLines(*link);
    EXPECT_TRUE(contains(lines, "main 217 " + kOwnCode + " 1")) << ::testing::PrintToString(lines);
    EXPECT_TRUE(contains(lines, "main 217 " + kOwnCode + " 0")) << ::testing::PrintToString(lines);
}

TEST_F(CorvelloProcessTest, MackieControlIntroducesItselfAndWritesFadersTwice)
{
    auto daw = dawPort("Tamberlin");
    auto link = remote({"186 1 1", "wait 50", "9 0 1"});
    allLines(*link);
    const auto midi = linesWithin(*daw, 500ms);
    ASSERT_GE(midi.size(), 3u) << ::testing::PrintToString(midi);
    EXPECT_EQ(midi[0].rfind("F0 00 00 66 14 01", 0), 0u) << midi[0];
    EXPECT_EQ(midi[1], "E0 7F 7F");
    EXPECT_EQ(midi[2], "E0 7F 7F");
}

TEST_F(CorvelloProcessTest, DawPitchBendReachesTheRemoteAsAFader)
{
    auto daw = dawPort("Tamberlin");
    auto link = remote({"186 1 1", "wait 1000"}, 300);
    ASSERT_TRUE(waitForMackieControl(*daw, 3s));
    daw->writeLine("E3 00 40");
    EXPECT_TRUE(link->waitForLine("main 9 3 0.5", 3s));
}

TEST_F(CorvelloProcessTest, HuiSelectionDrivesTheDawPort)
{
    auto daw = dawPort("Tamberlin");
    auto link = remote({"186 0 1", "wait 50", "9 2 1"});
    allLines(*link);
    const auto midi = linesWithin(*daw, 500ms);
    EXPECT_TRUE(contains(midi, "B0 02 7F")) << ::testing::PrintToString(midi);
    EXPECT_TRUE(contains(midi, "B0 22 7F")) << ::testing::PrintToString(midi);
}

TEST_F(CorvelloProcessTest, PannerRecordsReachTheirOwnSwivoPort)
{
    auto swivo1 = dawPort("Swivo 1");
    auto swivo2 = dawPort("Swivo 2");
    auto link = remote({"2010 0 1", "2010 1 0.5"});
    allLines(*link);
    EXPECT_EQ(swivo1->readLine(2s).value_or(""), "BE 02 7F");
    EXPECT_EQ(swivo2->readLine(2s).value_or(""), "BE 02 3F");

    auto back = remote({"wait 1000"});
    usleep(300000);                 // connected: records are not kept for a remote that is not there
    swivo2->writeLine("B0 00 01");  // the DAW's panner answers on its own port
    EXPECT_TRUE(back->waitForLine("main 2003 1 1", 3s)) << "panner state did not come back";
}

TEST_F(CorvelloProcessTest, LogicOscSelectionOpensAnOscPortThatAnswersTheDaw)
{
    auto link = remote({"186 3 1", "wait 300"});
    auto line = corvello->waitForErrorLine("OSC: receiving on UDP port", 3s);
    ASSERT_TRUE(line) << "no OSC reception after selecting Logic OSC";
    const int oscPort = std::atoi(line->substr(line->rfind(' ') + 1).c_str());
    ASSERT_GT(oscPort, 0);

    // The DAW's side: one UDP socket that both sends and listens, as OSC
    // applications do; its first datagram makes it Corvello's peer.
    const int daw = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(oscPort));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const char hello[] = "/hello\0\0,\0\0\0";
    ASSERT_EQ(sendto(daw, hello, sizeof hello - 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(sizeof hello - 1));
    usleep(200000);

    auto fader = remote({"186 3 1", "9 0 0.5"});
    allLines(*fader);
    timeval wait{2, 0};
    setsockopt(daw, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char datagram[1024];
    const ssize_t n = recv(daw, datagram, sizeof datagram, 0);
    close(daw);
    ASSERT_GT(n, 0) << "the DAW heard nothing from Corvello";
    EXPECT_NE(std::string(datagram, static_cast<std::size_t>(n)).find(",f"), std::string::npos)
        << "not an OSC message with a float argument";
}

TEST_F(CorvelloProcessTest, ProtocolSwitchesUnderAMidiFloodLeaveItServing)
{
    auto daw = dawPort("Tamberlin");
    std::vector<std::string> switches;
    for (int i = 0; i < 60; ++i) {
        switches.push_back("186 " + std::to_string(i % 3) + " 1");
        switches.push_back("9 " + std::to_string(i % 8) + " 0.5");
    }
    auto link = remote(switches, 100);
    for (int i = 0; i < 3000; ++i)
        daw->writeLine(i % 2 ? "E0 10 40" : "90 5E 7F");
    allLines(*link);

    auto probe = remote({"186 1 1", "wait 100", "216 " + kOwnCode + " 0"});
    EXPECT_TRUE(contains(allLines(*probe), "main 217 " + kOwnCode + " 1"));
    EXPECT_EQ(corvello->stop(SIGTERM, 5s), 0);
}

TEST_F(CorvelloProcessTest, SecondInstanceReportsOkFalseAndServesNoMidi)
{
    auto daw = dawPort("Tamberlin");
    auto second = startCorvello();
    ASSERT_TRUE(second->waitForErrorLine("Ok=false", 5s));
    auto line = second->waitForErrorLine("listening for the remote on TCP port", 5s);
    ASSERT_TRUE(line);
    const std::string secondPort = line->substr(line->rfind(' ') + 1);

    ChildProcess link({REMOTE_BIN, "--drain", "300", "127.0.0.1:" + secondPort});
    link.writeLine("186 1 1");
    link.writeLine("9 0 1");
    link.closeStdin();
    allLines(link);
    EXPECT_TRUE(linesWithin(*daw, 500ms).empty()) << "the second instance reached the DAW's port";
    EXPECT_EQ(second->stop(SIGTERM, 5s), 0);
}

// A second instance beside the fixture's: it serves no MIDI, but logs all the same.
TEST_F(CorvelloProcessTest, VerboseShowsDebugLinesAndUnknownArgumentsAreRefused)
{
    ChildProcess verbose({CORVELLO_BIN, "--verbose"}, environment());
    EXPECT_TRUE(verbose.waitForErrorLine("start-up: routing built", 5s));
    EXPECT_TRUE(verbose.waitForErrorLine("listening for the remote on TCP port", 5s));
    EXPECT_EQ(verbose.stop(SIGTERM, 5s), 0);

    ChildProcess refused({CORVELLO_BIN, "--verbos"}, environment());
    EXPECT_TRUE(refused.waitForErrorLine("unknown argument: --verbos", 5s));
    EXPECT_TRUE(refused.waitForErrorLine("usage: corvello [--allow CIDR]", 5s));
    EXPECT_EQ(refused.stop(0, 5s), 2);
}

TEST_F(CorvelloProcessTest, SigtermEndsTheProgramWithExitCodeZero)
{
    auto daw = dawPort("Tamberlin");
    auto link = remote({"186 1 1"}, 1500);
    ASSERT_TRUE(daw->waitForLine("F0", 2s));
    EXPECT_EQ(corvello->stop(SIGTERM, 5s), 0);
}

}  // namespace
}  // namespace corvello
