// The options of both entry points, and the Windows command line split into words.

#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace corvello {
namespace {

TEST(CommandLine, AcceptsItsOptionsAndRefusesAnythingElse)
{
    struct Case {
        std::vector<std::string_view> arguments;
        bool accepted;
        bool verbose;
        bool noDesktop;
        std::string problem;
    };
    const Case cases[] = {
        {{}, true, false, false, ""},
        {{"--verbose"}, true, true, false, ""},
        {{"--no-desktop"}, true, false, true, ""},
        {{"--no-desktop", "--verbose", "--verbose"}, true, true, true, ""},
        {{"--verbos"}, false, false, false, "unknown argument: --verbos"},
        {{"--verbose", "extra"}, false, false, false, "unknown argument: extra"},
        {{""}, false, false, false, "unknown argument: "},
    };
    for (const auto& c : cases) {
        std::string problem;
        const auto options = parseCommandLine(c.arguments, problem);
        SCOPED_TRACE(c.arguments.empty() ? "(none)" : std::string(c.arguments.back()));
        ASSERT_EQ(options.has_value(), c.accepted);
        EXPECT_EQ(options && options->verbose, c.verbose);
        EXPECT_EQ(options && options->noDesktop, c.noDesktop);
        EXPECT_EQ(problem, c.problem);
    }
}

TEST(CommandLine, WindowsLineSplitsAtRunsOfBlanks)
{
    using Words = std::vector<std::string_view>;
    EXPECT_EQ(splitCommandLine(""), Words{});
    EXPECT_EQ(splitCommandLine(" \t "), Words{});
    EXPECT_EQ(splitCommandLine("--verbose"), Words{"--verbose"});
    EXPECT_EQ(splitCommandLine("  --verbose \t x  "), (Words{"--verbose", "x"}));
}

}  // namespace
}  // namespace corvello
