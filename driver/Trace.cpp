#include "driver/Trace.h"

#include "driver/TraceSettings.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

namespace corvello {

namespace {

// Read once per load of the driver; the log file is opened per line, so
// several DAWs can share it and nothing stays open inside the host.
struct TraceLog {
    bool enabled = traceEnabledBy(traceEnvironmentValue(), traceUserSetting());
    std::string path = enabled ? preparedPath() : std::string();
    std::mutex mutex;

    static std::string preparedPath()
    {
        const std::string directory = traceLogDirectory();
        if (directory.empty())
            return {};
        std::error_code ignored;
        std::filesystem::create_directories(directory, ignored);
        return (std::filesystem::path(directory) / kTraceLogFileName).string();
    }

    void append(const std::string& line)
    {
        const std::lock_guard lock(mutex);
        std::error_code error;
        if (std::filesystem::file_size(path, error) >= kTraceLogBound && !error)
            std::filesystem::rename(path, path + ".1", error);
        if (std::FILE* file = std::fopen(path.c_str(), "a")) {
            std::fputs(line.c_str(), file);
            std::fclose(file);
        }
    }
};

TraceLog& traceLog()
{
    static TraceLog log;
    return log;
}

std::string timeStamp()
{
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld:%02ld.%03ld UTC",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<long>(time.hours().count()),
                  static_cast<long>(time.minutes().count()), static_cast<long>(time.seconds().count()),
                  static_cast<long>(time.subseconds().count()));
    return text;
}

void emit(bool detail, const char* format, va_list args)
{
    TraceLog& log = traceLog();
    if (detail && !log.enabled)
        return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    const std::string line = timeStamp() + " [" + std::to_string(traceProcessId()) +
                             "] corvmidi: " + text + "\n";
    traceToDebugger(line.c_str());
    if (log.enabled && !log.path.empty())
        log.append(line);
}

}  // namespace

void trace(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    emit(false, format, args);
    va_end(args);
}

void traceDetail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    emit(true, format, args);
    va_end(args);
}

bool traceDetailEnabled() { return traceLog().enabled; }

}  // namespace corvello
