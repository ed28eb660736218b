#include "platform/Log.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/DebugOutput.h"

namespace corvello::log {

namespace {

std::mutex& sinkMutex()
{
    static std::mutex mutex;
    return mutex;
}

Sink& installedSink()
{
    static Sink sink;
    return sink;
}

std::atomic<bool> verboseOn{false};

void defaultSink(Level, std::string_view line)
{
    std::string text(line);
    text += '\n';
    debugOutput(text.c_str());
}

std::string formatted(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length < 0)
        return format;
    if (static_cast<size_t>(length) < sizeof small)
        return std::string(small, static_cast<size_t>(length));
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace

void setSink(Sink sink)
{
    std::lock_guard lock(sinkMutex());
    installedSink() = std::move(sink);
}

void setVerbose(bool on) { verboseOn.store(on, std::memory_order_relaxed); }

bool verbose() { return verboseOn.load(std::memory_order_relaxed); }

void write(Level level, std::string_view line)
{
    if (level == Level::debug && !verbose())
        return;
    std::lock_guard lock(sinkMutex());
    if (installedSink())
        installedSink()(level, line);
    else
        defaultSink(level, line);
}

void writeFormatted(Level level, const char* format, va_list args)
{
    if (level == Level::debug && !verbose())
        return;
    write(level, formatted(format, args));
}

#define CORVELLO_LOG_FUNCTION(name, level)  \
    void name(const char* format, ...)      \
    {                                       \
        va_list args;                       \
        va_start(args, format);             \
        writeFormatted(level, format, args); \
        va_end(args);                       \
    }
CORVELLO_LOG_FUNCTION(error, Level::error)
CORVELLO_LOG_FUNCTION(warning, Level::warning)
CORVELLO_LOG_FUNCTION(info, Level::info)
CORVELLO_LOG_FUNCTION(debug, Level::debug)
#undef CORVELLO_LOG_FUNCTION

bool RateLimiter::admit(Clock::time_point now, unsigned& suppressed)
{
    if (reportedAny_ && now - last_ < interval_) {
        ++held_;
        return false;
    }
    reportedAny_ = true;
    last_ = now;
    suppressed = held_;
    held_ = 0;
    return true;
}

void RateLimitedLog::operator()(const char* format, ...)
{
    unsigned suppressed = 0;
    {
        std::lock_guard lock(mutex_);
        if (!limiter_.admit(RateLimiter::Clock::now(), suppressed))
            return;
    }
    va_list args;
    va_start(args, format);
    std::string line = formatted(format, args);
    va_end(args);
    if (suppressed)
        line += " (" + std::to_string(suppressed) + " similar since the last report)";
    write(level_, line);
}

}  // namespace corvello::log
