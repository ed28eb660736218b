#pragma once
// The outgoing queue's rate limit: at most `records` departures in any span
// of `window`. It remembers when each of the last `records` departures left;
// a new one may leave once the oldest of them is a full window old. An idle
// sender therefore has the whole budget at once, and a burst that used it up
// gets it back a window after it began.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

namespace corvello {

class SendBudget {
public:
    using Clock = std::chrono::steady_clock;

    SendBudget(std::size_t records, Clock::duration window)
        : window_(window), departures_(std::max<std::size_t>(records, 1), Clock::time_point::min())
    {
    }

    // How many records may leave at `now`.
    std::size_t available(Clock::time_point now) const
    {
        std::size_t count = 0;
        while (count < departures_.size() && expired(departures_[(oldest_ + count) % departures_.size()], now))
            ++count;
        return count;
    }

    // Records that `count` departures at `now`; at most available(now) of them.
    void spend(std::size_t count, Clock::time_point now)
    {
        for (std::size_t i = 0; i < count; ++i) {
            departures_[oldest_] = now;
            oldest_ = (oldest_ + 1) % departures_.size();
        }
    }

    // When the next record may leave (now or earlier if one may leave already).
    Clock::time_point nextFree() const
    {
        Clock::time_point oldest = departures_[oldest_];
        return oldest == Clock::time_point::min() ? oldest : oldest + window_;
    }

private:
    bool expired(Clock::time_point departure, Clock::time_point now) const
    {
        return departure == Clock::time_point::min() || departure + window_ <= now;
    }

    Clock::duration window_;
    std::vector<Clock::time_point> departures_;  // a ring, oldest_ first
    std::size_t oldest_ = 0;
};

}  // namespace corvello
