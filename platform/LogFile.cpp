#include "platform/LogFile.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

namespace corvello::log {

namespace {

const char* levelName(Level level)
{
    switch (level) {
    case Level::error:
        return "error";
    case Level::warning:
        return "warning";
    case Level::info:
        return "info";
    case Level::debug:
        return "debug";
    }
    return "";
}

// UTC: the library has no time zones yet, and a UTC stamp reads the same wherever the log is sent.
std::string timestamp(std::chrono::system_clock::time_point now)
{
    using namespace std::chrono;
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{floor<seconds>(now - day)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

}  // namespace

RotatingLogFile::RotatingLogFile(std::filesystem::path path, std::uintmax_t maxBytes)
    : path_(std::move(path)), maxBytes_(maxBytes < 2 ? 2 : maxBytes)
{
}

std::filesystem::path RotatingLogFile::oldPath() const
{
    std::filesystem::path old = path_;
    old.replace_filename(path_.stem().string() + ".old" + path_.extension().string());
    return old;
}

bool RotatingLogFile::ensureOpen()
{
    if (file_.is_open())
        return true;
    std::error_code error;
    std::filesystem::create_directories(path_.parent_path(), error);
    const std::uintmax_t existing = std::filesystem::file_size(path_, error);
    size_ = error ? 0 : existing;
    file_.open(path_, std::ios::binary | std::ios::app);
    return file_.is_open();
}

// Windows renames no open file, so the file is closed first.
void RotatingLogFile::rotate()
{
    file_.close();
    std::error_code error;
    std::filesystem::remove(oldPath(), error);
    std::filesystem::rename(path_, oldPath(), error);
    if (error)
        std::filesystem::remove(path_, error);  // bounded even if the old file cannot be replaced
    size_ = 0;
}

bool RotatingLogFile::append(std::string_view line)
{
    if (!ensureOpen())
        return false;
    line = line.substr(0, static_cast<std::size_t>(maxBytes_ - 1));
    const std::uintmax_t needed = line.size() + 1;
    if (size_ + needed > maxBytes_) {
        rotate();
        if (!ensureOpen())
            return false;
    }
    file_.write(line.data(), static_cast<std::streamsize>(line.size()));
    file_.put('\n');
    file_.flush();  // a crash must not take the last lines with it
    size_ += needed;
    return file_.good();
}

Sink fileSink(std::filesystem::path path, std::uintmax_t maxBytes)
{
    auto file = std::make_shared<RotatingLogFile>(std::move(path), maxBytes);
    return [file](Level level, std::string_view line) {
        std::string text = timestamp(std::chrono::system_clock::now());
        text += ' ';
        text += levelName(level);
        text += ": ";
        text += line;
        file->append(text);
    };
}

}  // namespace corvello::log
