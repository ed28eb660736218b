#pragma once
// Collects every log line while it lives (the default sink is stderr on
// POSIX but the debugger output on Windows, so tests read the lines here).

#include <mutex>
#include <string>

#include "platform/Log.h"

namespace corvello::testing_support {

class CapturedLog {
public:
    CapturedLog()
    {
        log::setSink([this](log::Level, std::string_view line) {
            std::lock_guard lock(mutex_);
            text_.append(line).append("\n");
        });
    }
    ~CapturedLog() { log::setSink({}); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    bool contains(const std::string& part) const
    {
        std::lock_guard lock(mutex_);
        return text_.find(part) != std::string::npos;
    }
    std::string text() const
    {
        std::lock_guard lock(mutex_);
        return text_;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

}  // namespace corvello::testing_support
