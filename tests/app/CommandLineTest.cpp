// The options both entry points share.

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

}  // namespace
}  // namespace corvello
