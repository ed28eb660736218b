// Logic OSC through whole processes: corvello (started with a private
// XDG_RUNTIME_DIR, stopped by PID), corvello-remote connected to the TCP port
// corvello names on stderr, liblo's oscsend as the DAW talking to the UDP
// port corvello names once Logic OSC is selected, and plain sockets of the
// test: a DAW that listens on the port it sends from on 127.0.0.1, and
// another host on 127.0.0.2. The advertisement test runs a real avahi-daemon
// (tests/discovery/ServicePublisher_posix.cpp says how it is started).

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "tests/discovery/ServicePublisher.h"
#include "tests/logicosc/LoopbackUdp.h"
#include "tests/support/ChildProcess.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::LoopbackUdp;

// A bundle whose one element claims -4 bytes: it once kept the OSC library's
// bundle parser in an endless loop.
const std::string kElementSizeMinus4("#bundle\0\0\0\0\0\0\0\0\x01\xff\xff\xff\xfctv1\0,f\0\0\x3f\0\0\0", 32);

std::optional<int> numberAfter(const std::optional<std::string>& line, const char* pattern)
{
    std::smatch match;
    if (!line || !std::regex_search(*line, match, std::regex(pattern)))
        return std::nullopt;
    return std::stoi(match[1]);
}

std::string floatMessage(const std::string& address, const char (&value)[5])
{
    std::string m = address + std::string(4 - address.size() % 4, '\0');
    return m + std::string(",f\0\0", 4) + std::string(value, 4);
}

void oscsend(int port, std::vector<std::string> message)
{
    std::vector<std::string> argv{"/usr/bin/oscsend", "osc.udp://127.0.0.1:" + std::to_string(port)};
    argv.insert(argv.end(), message.begin(), message.end());
    ChildProcess send(argv);
    ASSERT_EQ(send.stop(0, 10s), 0) << "oscsend failed";
}

class LogicOscEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        runtimeDir_ = std::filesystem::temp_directory_path() / ("corvello-osc-e2e-" + std::to_string(::getpid()));
        std::filesystem::create_directories(runtimeDir_);
        std::filesystem::permissions(runtimeDir_, std::filesystem::perms::owner_all);
    }

    void TearDown() override { std::filesystem::remove_all(runtimeDir_); }

    std::vector<std::string> environment() const { return {"XDG_RUNTIME_DIR=" + runtimeDir_.string()}; }

    // Starts corvello; its TCP port.
    int startCorvello()
    {
        corvello_ = std::make_unique<ChildProcess>(std::vector<std::string>{CORVELLO_PATH}, environment());
        const auto port = numberAfter(corvello_->waitForErrorLine("TCP port", 10s), "TCP port ([0-9]+)");
        EXPECT_TRUE(port);
        return port.value_or(0);
    }

    std::unique_ptr<ChildProcess> connectRemote(int tcpPort)
    {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{CORVELLO_REMOTE_PATH, "--drain", "2000", "127.0.0.1:" + std::to_string(tcpPort)},
            environment());
    }

    // Selects Logic OSC from `remote`; the UDP port corvello then names.
    int selectLogicOsc(ChildProcess& remote)
    {
        remote.writeLine("186 3 1");
        const auto port = numberAfter(corvello_->waitForErrorLine("OSC: receiving", 10s), "UDP port ([0-9]+)");
        EXPECT_TRUE(port);
        return port.value_or(0);
    }

    static void disconnect(std::unique_ptr<ChildProcess>& remote)
    {
        remote->closeStdin();
        remote->stop(0, 10s);
        remote.reset();
    }

    std::filesystem::path runtimeDir_;
    std::unique_ptr<ChildProcess> corvello_;
};

TEST_F(LogicOscEndToEnd, SelectingLogicOscOpensAPortTheDawTalksTo)
{
    auto remote = connectRemote(startCorvello());
    const int oscPort = selectLogicOsc(*remote);

    oscsend(oscPort, {"md", "f", "0.25"});
    EXPECT_TRUE(remote->waitForLine("main 204 2 1", 10s)) << "the bank refresh for send slot 2";

    LoopbackUdp daw;
    daw.sendTo(static_cast<std::uint16_t>(oscPort), floatMessage("mt1", "\x3f\x80\0\0"));
    EXPECT_TRUE(remote->waitForLine(" 96 0 1", 10s)) << "the meter reached the remote";
    remote->writeLine("9 0 0.75");
    EXPECT_EQ(daw.receive(), floatMessage("tv1", "\x3f\x40\0\0"));

    disconnect(remote);
    EXPECT_EQ(corvello_->stop(SIGTERM, 10s), 0);
}

// The datagram is refused with one line; reception goes on for a real OSC
// peer, and an exit request still ends corvello at once.
TEST_F(LogicOscEndToEnd, AHostileDatagramIsRefusedAndReceptionGoesOn)
{
    auto remote = connectRemote(startCorvello());
    const int oscPort = selectLogicOsc(*remote);

    LoopbackUdp attacker(LoopbackUdp::otherHost());
    attacker.sendTo(static_cast<std::uint16_t>(oscPort), kElementSizeMinus4);
    EXPECT_TRUE(corvello_->waitForErrorLine("OSC: refused a datagram of 32 bytes from 127.0.0.2", 10s));

    oscsend(oscPort, {"md", "f", "0.25"});
    EXPECT_TRUE(remote->waitForLine("main 204 2 1", 10s)) << "a real OSC peer is still heard";
    LoopbackUdp daw;
    daw.sendTo(static_cast<std::uint16_t>(oscPort), floatMessage("mt1", "\x3f\x80\0\0"));
    EXPECT_TRUE(remote->waitForLine(" 96 0 1", 10s));
    remote->writeLine("9 0 0.75");
    EXPECT_EQ(daw.receive(), floatMessage("tv1", "\x3f\x40\0\0"));

    EXPECT_EQ(corvello_->stop(SIGTERM, 3s), 0) << "corvello ends within 3 s of SIGTERM";
}

// Another host (127.0.0.2) that speaks after the DAW is not heard and does
// not redirect the remote's output; selecting Logic OSC again lets whoever
// speaks first be the DAW.
TEST_F(LogicOscEndToEnd, AnotherHostCannotTakeTheRemotesOutput)
{
    auto remote = connectRemote(startCorvello());
    const auto oscPort = static_cast<std::uint16_t>(selectLogicOsc(*remote));

    LoopbackUdp daw;
    daw.sendTo(oscPort, floatMessage("mt1", "\x3f\x80\0\0"));
    ASSERT_TRUE(remote->waitForLine(" 96 0 1", 10s));

    LoopbackUdp other(LoopbackUdp::otherHost());
    other.sendTo(oscPort, floatMessage("tv8", "\x3f\x80\0\0"));
    EXPECT_TRUE(corvello_->waitForErrorLine("OSC: ignored a datagram from 127.0.0.2", 10s));
    daw.sendTo(oscPort, floatMessage("mt2", "\x3f\x80\0\0"));
    std::optional<std::string> line;
    while ((line = remote->readLine(10s)) && line->find(" 96 1 1") == std::string::npos)
        EXPECT_EQ(line->find(" 9 7 "), std::string::npos) << "the other host moved fader 8: " << *line;
    ASSERT_TRUE(line) << "the DAW is still heard";
    remote->writeLine("9 0 0.75");
    EXPECT_EQ(daw.receive(), floatMessage("tv1", "\x3f\x40\0\0"));
    EXPECT_FALSE(other.receive(500ms));

    remote->writeLine("186 3 1");
    ASSERT_TRUE(remote->waitForLine("main 5 8", 10s)) << "the selection's refresh, which ends it";
    other.sendTo(oscPort, floatMessage("mt3", "\x3f\x80\0\0"));
    EXPECT_TRUE(remote->waitForLine(" 96 2 1", 10s));
    remote->writeLine("9 1 0.75");
    EXPECT_EQ(other.receive(), floatMessage("tv2", "\x3f\x40\0\0"));

    disconnect(remote);
    EXPECT_EQ(corvello_->stop(SIGTERM, 10s), 0);
}

// The receiver's "_osc._udp" registration goes with the remote and comes back
// with the next selection of Logic OSC.
TEST_F(LogicOscEndToEnd, TheAdvertisementReturnsWithEverySelection)
{
    std::string whyNot;
    const auto publisher = test::startDnsSdService(whyNot);
    if (!publisher)
        GTEST_SKIP() << whyNot;

    const int tcpPort = startCorvello();
    auto remote = connectRemote(tcpPort);
    const auto oscPort = static_cast<std::uint16_t>(selectLogicOsc(*remote));
    EXPECT_TRUE(publisher->seesRegistration("_osc._udp", oscPort));

    disconnect(remote);
    EXPECT_TRUE(publisher->seesNoRegistration("_osc._udp", oscPort)) << "withdrawn with the remote";

    remote = connectRemote(tcpPort);
    remote->writeLine("186 3 1");
    EXPECT_TRUE(publisher->seesRegistration("_osc._udp", oscPort)) << "advertised again on the same port";

    disconnect(remote);
    EXPECT_EQ(corvello_->stop(SIGTERM, 10s), 0);
}

}  // namespace
}  // namespace corvello
