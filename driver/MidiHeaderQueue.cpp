#include "driver/MidiHeaderQueue.h"

#include <cstring>

namespace corvello {

void MidiHeaderQueue::add(MIDIHDR* header)
{
    // Emptied before it is queued: once in the queue the read thread may
    // already be filling it.
    header->dwBytesRecorded = 0;
    header->lpNext = nullptr;
    std::memset(header->lpData, 0, header->dwBufferLength);
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    const std::lock_guard lock(mutex_);
    headers_.push_back(header);
}

MIDIHDR* MidiHeaderQueue::append(std::uint8_t byte, bool complete)
{
    const std::lock_guard lock(mutex_);
    if (headers_.empty())
        return nullptr;
    MIDIHDR* header = headers_.front();
    header->lpData[header->dwBytesRecorded++] = static_cast<char>(byte);
    if (header->dwBytesRecorded < header->dwBufferLength && !complete)
        return nullptr;
    headers_.pop_front();
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    return header;
}

void MidiHeaderQueue::clear()
{
    const std::lock_guard lock(mutex_);
    for (MIDIHDR* header : headers_)
        header->dwFlags &= ~MHDR_INQUEUE;
    headers_.clear();
}

}  // namespace corvello
