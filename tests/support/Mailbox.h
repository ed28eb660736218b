#pragma once
// Values handed over on one thread and awaited on another, for tests.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace corvello::test {

template <typename T>
class Mailbox {
public:
    void put(T value)
    {
        const std::lock_guard lock(mutex_);
        items_.push_back(std::move(value));
        changed_.notify_all();
    }

    // The oldest value, or nothing when none arrives in time.
    std::optional<T> next(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return !items_.empty(); }))
            return std::nullopt;
        T first = std::move(items_.front());
        items_.pop_front();
        return first;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<T> items_;
};

}  // namespace corvello::test
