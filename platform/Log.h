#pragma once
// The one way a diagnostic leaves Corvello and its tools. Every line goes to
// one sink (stderr on POSIX, the debugger output on Windows, or whatever the
// program installs, such as a log file); debug lines only with --verbose.
// Lines from outside input go through a RateLimitedLog so a flood of bad
// input cannot flood the log.

#include <chrono>
#include <cstdarg>
#include <functional>
#include <mutex>
#include <string_view>

// MinGW's printf family follows the C99 (GNU) rules under libstdc++.
#if defined(__MINGW32__)
#define CORVELLO_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define CORVELLO_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

namespace corvello::log {

enum class Level { error, warning, info, debug };

// Receives each line without its trailing newline. Called under the log's
// lock, so a sink needs no locking of its own and lines never interleave.
using Sink = std::function<void(Level, std::string_view line)>;

// Installs a sink; an empty one restores the platform's default.
void setSink(Sink sink);
void setVerbose(bool on);
bool verbose();

void write(Level level, std::string_view line);

void error(const char* format, ...) CORVELLO_PRINTF(1, 2);
void warning(const char* format, ...) CORVELLO_PRINTF(1, 2);
void info(const char* format, ...) CORVELLO_PRINTF(1, 2);
void debug(const char* format, ...) CORVELLO_PRINTF(1, 2);

void writeFormatted(Level level, const char* format, va_list args);

// Decides which of a stream of events may be reported: the first one, then at
// most one per interval. What it held back is counted and handed to the next
// admitted report, so nothing is hidden without a trace.
class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimiter(Clock::duration interval = std::chrono::seconds(1)) : interval_(interval) {}

    // True if an event at `now` may be reported; `suppressed` then tells how
    // many were held back since the last report.
    bool admit(Clock::time_point now, unsigned& suppressed);

private:
    Clock::duration interval_;
    Clock::time_point last_{};
    bool reportedAny_ = false;
    unsigned held_ = 0;
};

// A warning about outside input, reported at most once per interval, with a
// note of how many similar lines were held back. Thread-safe.
class RateLimitedLog {
public:
    explicit RateLimitedLog(Level level = Level::warning,
                            RateLimiter::Clock::duration interval = std::chrono::seconds(1))
        : level_(level), limiter_(interval)
    {
    }

    void operator()(const char* format, ...) CORVELLO_PRINTF(2, 3);

private:
    Level level_;
    std::mutex mutex_;
    RateLimiter limiter_;
};

}  // namespace corvello::log
