#pragma once
// The log's lines, captured for the life of the object (thread-safe: the
// receive thread logs while the test reads).

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Log.h"

namespace corvello::test {

class CapturedLog {
public:
    CapturedLog()
    {
        log::setSink([this](log::Level, std::string_view line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~CapturedLog() { log::setSink({}); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::vector<std::string> lines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    // The lines that contain `text`.
    std::vector<std::string> linesWith(std::string_view text) const
    {
        std::vector<std::string> found;
        for (auto& line : lines())
            if (line.find(text) != std::string::npos)
                found.push_back(line);
        return found;
    }

    void clear()
    {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace corvello::test
