// The settings file and the command line of a whole corvello process, on
// loopback: each test starts a real corvello (tests/e2e/CorvelloInstance.h)
// whose XDG_CONFIG_HOME is a private folder holding the file the test wrote;
// 127.0.0.1 is this computer and 127.0.0.2 plays another host on the network.
// The remote side is RawRemote (tests/link).

#include <gtest/gtest.h>

#include "link/Socket.h"
#include "tests/e2e/CorvelloInstance.h"
#include "tests/link/LinkTestSupport.h"

namespace corvello {
namespace {

using namespace std::chrono_literals;
using namespace testing_support;
using test::ChildProcess;
using test::CorvelloInstance;

const std::uint32_t kOtherHost = net::resolveIPv4("127.0.0.2");

// What the process wrote to stderr until it ended (or 5 s passed).
std::vector<std::string> remainingErrorLines(ChildProcess& process)
{
    std::vector<std::string> lines;
    while (auto line = process.readErrorLine(5s))
        lines.push_back(*line);
    return lines;
}

bool anyContains(const std::vector<std::string>& lines, const std::string& text)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

// True when a remote connecting from `local` is answered (admitted).
bool admitted(const CorvelloInstance& corvello, std::uint32_t local)
{
    RawRemote remote(corvello.port(), true, local);
    return remote.gotPreamble();
}

TEST(SettingsProcess, ItsSettingsTakeEffect)
{
    const std::string settings = "# only this computer\n"
                                 "allow = 127.0.0.1/32\n"
                                 "verbose = true\n";
    CorvelloInstance corvello({}, true, CorvelloInstance::SettingsFile{settings});
    ASSERT_NE(corvello.port(), 0) << ::testing::PrintToString(corvello.startupLines());
    EXPECT_TRUE(anyContains(corvello.startupLines(), "start-up: routing built")) << "verbose = true was not heard";
    EXPECT_FALSE(admitted(corvello, kOtherHost));
    EXPECT_TRUE(corvello.process().waitForErrorLine("refused a remote at 127.0.0.2", 3s));
    EXPECT_TRUE(admitted(corvello, net::loopbackAddress()));
}

TEST(SettingsProcess, TheCommandLineWinsAndItsAllowReplacesTheFilesList)
{
    const std::string settings = "allow = 127.0.0.1/32\nverbose = true\n";
    CorvelloInstance corvello({"--allow", "127.0.0.2/32", "--verbose=false"}, true,
                              CorvelloInstance::SettingsFile{settings});
    ASSERT_NE(corvello.port(), 0) << ::testing::PrintToString(corvello.startupLines());
    EXPECT_FALSE(anyContains(corvello.startupLines(), "start-up: routing built")) << "--verbose=false was not heard";
    EXPECT_TRUE(admitted(corvello, kOtherHost));
    EXPECT_FALSE(admitted(corvello, net::loopbackAddress())) << "the file's range survived the command line's";
    EXPECT_TRUE(corvello.process().waitForErrorLine("refused a remote at 127.0.0.1", 3s));
}

TEST(SettingsProcess, ListenFromTheFileLeavesOtherAddressesUnreachable)
{
    const std::string settings = "listen = 127.0.0.1\n";
    CorvelloInstance corvello({}, true, CorvelloInstance::SettingsFile{settings});
    ASSERT_NE(corvello.port(), 0);
    net::SocketHandle elsewhere = net::openTcpSocket();
    EXPECT_FALSE(net::connectSocket(elsewhere, {kOtherHost, net::networkPort(corvello.port())}));
    net::closeSocket(elsewhere);
    EXPECT_TRUE(admitted(corvello, net::loopbackAddress()));
}

// A fault is named with its file and line, the exit code is 2, and nothing
// starts: no MIDI server ("Ok="), no link.
TEST(SettingsProcess, AMalformedOrUntrustedFileIsAnErrorAndNothingStarts)
{
    struct Case {
        std::string settings;
        mode_t mode;
        std::string message;
    };
    const Case cases[] = {
        {"allow = 10.0.0.0/8\nallow = 10.0.0.0/33\n", 0600, "corvello.conf:2: allow = 10.0.0.0/33: not an address range"},
        {"listen = 192.0.2.1\n", 0600, "corvello.conf:1: listen = 192.0.2.1: not an address of this computer"},
        {"desktop = false\n", 0600, "corvello.conf:1: unknown setting \"desktop\""},
        {"verbose = true\n", 0666, "corvello.conf: not read: it is writable by every user"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        CorvelloInstance corvello({}, false, CorvelloInstance::SettingsFile{c.settings, c.mode});
        const auto lines = remainingErrorLines(corvello.process());
        EXPECT_EQ(corvello.process().stop(0, 5s), std::optional(2));
        EXPECT_TRUE(anyContains(lines, c.message)) << ::testing::PrintToString(lines);
        EXPECT_FALSE(anyContains(lines, "Ok=")) << ::testing::PrintToString(lines);
        EXPECT_FALSE(anyContains(lines, "listening")) << ::testing::PrintToString(lines);
    }
}

TEST(SettingsProcess, HelpAndVersionPrintAndExitWithCodeZeroStartingNothing)
{
    const std::string broken = "this is not a setting\n";
    for (const auto& [argument, expected] : {std::pair{"--help", "usage: corvello"}, {"--version", "corvello 0."}}) {
        // A broken settings file does not stand in the way.
        CorvelloInstance corvello({argument}, false, CorvelloInstance::SettingsFile{broken});
        const auto first = corvello.process().readLine(5s);
        EXPECT_EQ(first.value_or("").rfind(expected, 0), 0u) << argument << ": " << first.value_or("(nothing)");
        EXPECT_TRUE(remainingErrorLines(corvello.process()).empty()) << argument;
        EXPECT_EQ(corvello.process().stop(0, 5s), std::optional(0)) << argument;
    }
}

// The MIDI server starts once, after everything it feeds is wired: one
// "Ok=" line, and no second start that finds the first one's lock.
TEST(StartUp, TheMidiServerStartsOnceAndSaysSo)
{
    CorvelloInstance corvello;
    ASSERT_NE(corvello.port(), 0);
    const auto& lines = corvello.startupLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find("Ok=") != std::string::npos; }), 1)
        << ::testing::PrintToString(lines);
    EXPECT_TRUE(anyContains(lines, "Ok=true")) << ::testing::PrintToString(lines);
    EXPECT_FALSE(anyContains(lines, "already running")) << ::testing::PrintToString(lines);
}

}  // namespace
}  // namespace corvello
