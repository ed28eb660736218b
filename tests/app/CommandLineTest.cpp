// The settings both entry points share: the command line, the settings file's
// lines, and how the two combine.

#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/SettingsFile.h"
#include "link/Socket.h"
#include "tests/support/NumericAddress.h"

namespace corvello {
namespace {

TEST(CommandLine, ReadsEverySettingAndRefusesAnythingElse)
{
    struct Case {
        std::vector<std::string_view> arguments;
        std::string problem;  // empty: accepted
    };
    const Case cases[] = {
        {{}, ""},
        {{"--verbose", "--no-desktop=false", "--allow", "10.0.0.0/8", "--allow=192.168.1.0/24"}, ""},
        {{"--listen", "127.0.0.1"}, ""},
        {{"--listen=127.0.0.1"}, ""},
        {{"--verbos"}, "unknown argument: --verbos"},
        {{"--verbose", "extra"}, "unknown argument: extra"},
        {{"verbose"}, "unknown argument: verbose"},
        {{""}, "unknown argument: "},
        {{"--verbose=yes"}, "--verbose yes: not true or false"},
        {{"--allow"}, "--allow needs a value"},
        {{"--allow", "10.0.0.0/33"}, "--allow 10.0.0.0/33: not an address range (CIDR, such as 192.168.1.0/24 or fe80::/10)"},
        {{"--listen", "::1"}, "--listen ::1: not an IPv4 address"},
        {{"--listen=192.0.2.1"}, "--listen 192.0.2.1: not an address of this computer"},
    };
    for (const Case& c : cases) {
        std::string problem;
        const auto commandLine = parseCommandLine(c.arguments, problem);
        SCOPED_TRACE(c.arguments.empty() ? "(none)" : std::string(c.arguments.back()));
        EXPECT_EQ(commandLine.has_value(), c.problem.empty());
        EXPECT_EQ(problem, c.problem);
    }
}

TEST(CommandLine, HelpAndVersionEndTheReadingWhereverTheyAre)
{
    std::string problem;
    using Request = CommandLine::Request;
    EXPECT_EQ(parseCommandLine({"--verbose", "--help", "--frobnicate"}, problem)->request, Request::Help);
    EXPECT_EQ(parseCommandLine({"-h"}, problem)->request, Request::Help);
    EXPECT_EQ(parseCommandLine({"--version", "--allow"}, problem)->request, Request::Version);
    EXPECT_FALSE(parseCommandLine({"--frobnicate", "--help"}, problem));

    const std::string help = helpText("/home/someone/.config/corvello/corvello.conf");
    for (const Setting& setting : settings())
        EXPECT_NE(help.find("--" + std::string(setting.name)), std::string::npos) << setting.name;
    EXPECT_NE(help.find("/home/someone/.config/corvello/corvello.conf"), std::string::npos);
    EXPECT_FALSE(versionText().empty());  // the program's own version is checked where it has one
}

TEST(SettingsFile, ReadsNameValueLinesWithCommentsAndNamesTheFaultyLine)
{
    std::string problem;
    const auto values = parseSettings("\xEF\xBB\xBF# Corvello\r\n"
                                      "allow = 10.0.0.0/8   # the studio\r\n"
                                      "\n"
                                      "  allow=192.168.1.0/24\n"
                                      "listen = 127.0.0.1\n"
                                      "no-desktop = true\n"
                                      "verbose = true\n"
                                      "verbose = false",
                                      "corvello.conf", problem);
    ASSERT_TRUE(values) << problem;
    ASSERT_TRUE(values->allowed);
    EXPECT_TRUE(values->allowed->contains(address("10.1.2.3")));
    EXPECT_TRUE(values->allowed->contains(address("192.168.1.9")));
    EXPECT_FALSE(values->allowed->contains(address("192.168.2.9")));
    EXPECT_EQ(values->listenAddress, net::loopbackAddress());
    EXPECT_EQ(values->noDesktop, true);
    EXPECT_EQ(values->verbose, false);  // the later line

    const std::pair<std::string, std::string> faulty[] = {
        {"allow = 10.0.0.0/8\nallow = 10.0.0.0/33\n",
         "corvello.conf:2: allow = 10.0.0.0/33: not an address range (CIDR, such as 192.168.1.0/24 or fe80::/10)"},
        {"\n\nlisten = 192.0.2.1", "corvello.conf:3: listen = 192.0.2.1: not an address of this computer"},
        {"verbose", "corvello.conf:1: \"verbose\" is not \"name = value\""},
        {"verbose = on", "corvello.conf:1: verbose = on: not true or false"},
        {"# fine\nhelp = true", "corvello.conf:2: unknown setting \"help\""},
        {"= 10.0.0.0/8", "corvello.conf:1: unknown setting \"\""},
        {"allow =", "corvello.conf:1: allow = : not an address range (CIDR, such as 192.168.1.0/24 or fe80::/10)"},
    };
    for (const auto& [text, expected] : faulty) {
        std::string fault;
        EXPECT_FALSE(parseSettings(text, "corvello.conf", fault)) << text;
        EXPECT_EQ(fault, expected);
    }
    EXPECT_TRUE(parseSettings("", "corvello.conf", problem));
    // The system's address reader stops at a NUL; the value must not.
    EXPECT_FALSE(parseSettings(std::string("allow = 10.0.0.1\0junk", 22), "corvello.conf", problem));
}

TEST(Settings, TheCommandLineWinsAndItsAllowListReplacesTheFiles)
{
    std::string problem;
    const auto file = parseSettings("allow = 10.0.0.0/8\nno-desktop = true\nverbose = true\n", "f", problem);
    ASSERT_TRUE(file);

    const Options fileOnly = resolveOptions(*file, {});
    EXPECT_TRUE(fileOnly.link.allowed.contains(address("10.0.0.1")));
    EXPECT_TRUE(fileOnly.noDesktop);
    EXPECT_TRUE(fileOnly.verbose);
    EXPECT_EQ(fileOnly.link.listenAddress, net::kAnyAddress);

    const auto commandLine = parseCommandLine({"--allow", "192.168.1.0/24", "--no-desktop=false"}, problem);
    ASSERT_TRUE(commandLine);
    const Options both = resolveOptions(*file, commandLine->values);
    EXPECT_FALSE(both.link.allowed.contains(address("10.0.0.1")));
    EXPECT_TRUE(both.link.allowed.contains(address("192.168.1.1")));
    EXPECT_FALSE(both.noDesktop);
    EXPECT_TRUE(both.verbose);

    const Options neither = resolveOptions({}, {});
    EXPECT_TRUE(neither.link.allowed.empty());  // the link's default ranges
    EXPECT_FALSE(neither.noDesktop);
}


}  // namespace
}  // namespace corvello
