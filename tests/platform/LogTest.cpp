#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Log.h"

namespace corvello::log {
namespace {

using namespace std::chrono_literals;

struct CapturedLines {
    std::vector<std::string> lines;
    CapturedLines()
    {
        setSink([this](Level, std::string_view line) { lines.emplace_back(line); });
    }
    ~CapturedLines()
    {
        setSink({});
        setVerbose(false);
    }
};

TEST(Log, DebugLinesOnlyWhenVerbose)
{
    CapturedLines captured;
    debug("hidden %d", 1);
    info("shown %s", "info");
    setVerbose(true);
    debug("shown %d", 2);
    EXPECT_EQ(captured.lines, (std::vector<std::string>{"shown info", "shown 2"}));
}

TEST(Log, LongLinesAreNotCut)
{
    CapturedLines captured;
    std::string text(1000, 'x');
    warning("%s!", text.c_str());
    ASSERT_EQ(captured.lines.size(), 1u);
    EXPECT_EQ(captured.lines[0], text + "!");
}

TEST(RateLimiter, AdmitsFirstThenOnePerIntervalAndCountsTheRest)
{
    RateLimiter limiter(1s);
    RateLimiter::Clock::time_point t0{};
    unsigned suppressed = 99;
    EXPECT_TRUE(limiter.admit(t0, suppressed));
    EXPECT_EQ(suppressed, 0u);
    EXPECT_FALSE(limiter.admit(t0 + 100ms, suppressed));
    EXPECT_FALSE(limiter.admit(t0 + 999ms, suppressed));
    EXPECT_TRUE(limiter.admit(t0 + 1s, suppressed));
    EXPECT_EQ(suppressed, 2u);
    EXPECT_TRUE(limiter.admit(t0 + 5s, suppressed));
    EXPECT_EQ(suppressed, 0u);
}

TEST(RateLimitedLog, AFloodBecomesOneLine)
{
    CapturedLines captured;
    RateLimitedLog log(Level::warning, 1h);
    for (int i = 0; i < 1000; ++i)
        log("bad datagram from %s", "127.0.0.2");
    EXPECT_EQ(captured.lines, (std::vector<std::string>{"bad datagram from 127.0.0.2"}));
}

}  // namespace
}  // namespace corvello::log
