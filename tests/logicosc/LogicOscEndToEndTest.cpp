// Logic OSC through whole processes: corvello (started with a private
// XDG_RUNTIME_DIR, stopped by PID), corvello-remote connected to the TCP port
// corvello names on stderr, liblo's oscsend as the DAW talking to the UDP
// port corvello names once Logic OSC is selected, and a plain socket of the
// test as a DAW that listens on the port it sends from.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/logicosc/LoopbackUdp.h"
#include "tests/support/ChildProcess.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::LoopbackUdp;

std::optional<int> numberAfter(const std::optional<std::string>& line, const char* pattern)
{
    std::smatch match;
    if (!line || !std::regex_search(*line, match, std::regex(pattern)))
        return std::nullopt;
    return std::stoi(match[1]);
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

    std::filesystem::path runtimeDir_;
};

TEST_F(LogicOscEndToEnd, SelectingLogicOscOpensAPortTheDawTalksTo)
{
    ChildProcess corvello({CORVELLO_PATH}, environment());
    const auto tcpPort = numberAfter(corvello.waitForErrorLine("TCP port", 10s), "TCP port ([0-9]+)");
    ASSERT_TRUE(tcpPort);

    ChildProcess remote({CORVELLO_REMOTE_PATH, "--drain", "2000", "127.0.0.1:" + std::to_string(*tcpPort)},
                        environment());
    remote.writeLine("186 3 1");
    const auto oscPort = numberAfter(corvello.waitForErrorLine("OSC: receiving", 10s), "UDP port ([0-9]+)");
    ASSERT_TRUE(oscPort);

    ChildProcess send({"/usr/bin/oscsend", "osc.udp://127.0.0.1:" + std::to_string(*oscPort), "md", "f", "0.25"});
    ASSERT_EQ(send.stop(0, 10s), 0);
    EXPECT_TRUE(remote.waitForLine("main 204 2 1", 10s)) << "the bank refresh for send slot 2";

    LoopbackUdp daw;
    daw.sendTo(static_cast<std::uint16_t>(*oscPort), std::string("mt1\0,f\0\0\x3f\x80\0\0", 12));
    EXPECT_TRUE(remote.waitForLine(" 96 0 1", 10s)) << "the meter reached the remote";
    remote.writeLine("9 0 0.75");
    EXPECT_EQ(daw.receive(), std::string("tv1\0,f\0\0\x3f\x40\0\0", 12));

    remote.closeStdin();
    remote.stop(0, 10s);
    EXPECT_EQ(corvello.stop(SIGTERM, 10s), 0);
}

}  // namespace
}  // namespace corvello
