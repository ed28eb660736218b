#pragma once
// A log file of bounded size for the log's sink: when the next line would
// take the file past its limit, the file becomes the old file (replacing the
// previous one) and a new file starts, so the log never holds more than two
// files' worth. A restart appends to the file it finds.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "platform/Log.h"

namespace corvello::log {

class RotatingLogFile {
public:
    RotatingLogFile(std::filesystem::path path, std::uintmax_t maxBytes);

    // Appends the line and a newline (a line longer than the limit is cut to
    // fit); false when the file cannot be written. The folder is made on demand.
    bool append(std::string_view line);

    const std::filesystem::path& path() const { return path_; }
    // "Corvello.log" becomes "Corvello.old.log".
    std::filesystem::path oldPath() const;

private:
    bool ensureOpen();
    void rotate();

    std::filesystem::path path_;
    std::uintmax_t maxBytes_;
    std::ofstream file_;
    std::uintmax_t size_ = 0;
};

// A sink that writes "2026-01-31T23:59:59Z warning: text" lines to the file.
Sink fileSink(std::filesystem::path path, std::uintmax_t maxBytes);

}  // namespace corvello::log
