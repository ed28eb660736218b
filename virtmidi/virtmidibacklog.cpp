#include "virtmidi/virtmidibacklog.h"

namespace corvello {

namespace {
constexpr std::size_t kCompactAfter = 4096;
}  // namespace

bool VirtMidiBacklog::push(const std::uint8_t* bytes, std::size_t length)
{
    const std::size_t cost = length + kPerMessageCost;
    if (length > UINT32_MAX || cost > bound_ - cost_)
        return false;
    bytes_.insert(bytes_.end(), bytes, bytes + length);
    lengths_.push_back(static_cast<std::uint32_t>(length));
    cost_ += cost;
    return true;
}

std::span<const std::uint8_t> VirtMidiBacklog::front() const
{
    return {bytes_.data() + head_, lengths_.front()};
}

void VirtMidiBacklog::pop()
{
    const std::size_t length = lengths_.front();
    lengths_.pop_front();
    head_ += length;
    cost_ -= length + kPerMessageCost;
    if (lengths_.empty()) {
        bytes_.clear();
        head_ = 0;
    } else if (head_ >= kCompactAfter && head_ >= bytes_.size() / 2) {
        // Taken bytes are dropped once they are half the store, so each byte
        // is moved about once.
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

void VirtMidiBacklog::clear()
{
    bytes_.clear();
    head_ = 0;
    lengths_.clear();
    cost_ = 0;
}

}  // namespace corvello
