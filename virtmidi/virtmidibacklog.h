#pragma once
// The messages one client has not taken yet, oldest first, up to a bound:
// what lets a burst reach a client that reads, however briefly it lags.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace corvello {

class VirtMidiBacklog {
public:
    // A burst of fader moves is tens of thousands of short messages.
    static constexpr std::size_t kDefaultBound = 512 * 1024;

    explicit VirtMidiBacklog(std::size_t boundBytes = kDefaultBound) : bound_(boundBytes) {}

    bool empty() const { return lengths_.empty(); }
    std::size_t size() const { return lengths_.size(); }

    // Adds a copy of the message; false, adding nothing, when the backlog
    // would pass its bound (each message also counts its bookkeeping).
    bool push(const std::uint8_t* bytes, std::size_t length);
    // The oldest message; only when not empty.
    std::span<const std::uint8_t> front() const;
    void pop();
    void clear();

private:
    static constexpr std::size_t kPerMessageCost = sizeof(std::uint32_t);

    std::size_t bound_;
    std::size_t cost_ = 0;
    std::vector<std::uint8_t> bytes_;  // the messages back to back, from head_
    std::size_t head_ = 0;
    std::deque<std::uint32_t> lengths_;
};

}  // namespace corvello
