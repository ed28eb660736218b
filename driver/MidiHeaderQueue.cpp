#include "driver/MidiHeaderQueue.h"

#include <cstring>

namespace corvello {

void MidiHeaderQueue::open()
{
    const std::lock_guard lock(mutex_);
    open_ = true;
}

bool MidiHeaderQueue::close()
{
    const std::lock_guard lock(mutex_);
    if (!headers_.empty())
        return false;
    open_ = false;
    return true;
}

MMRESULT MidiHeaderQueue::add(MIDIHDR* header)
{
    const std::lock_guard lock(mutex_);
    if (!(header->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    if (!open_)
        return MMSYSERR_INVALHANDLE;
    header->dwBytesRecorded = 0;
    header->lpNext = nullptr;
    std::memset(header->lpData, 0, header->dwBufferLength);
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    headers_.push_back(header);
    return MMSYSERR_NOERROR;
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
    markDone(header);
    return header;
}

std::vector<MIDIHDR*> MidiHeaderQueue::takeAll()
{
    const std::lock_guard lock(mutex_);
    std::vector<MIDIHDR*> taken(headers_.begin(), headers_.end());
    headers_.clear();
    for (MIDIHDR* header : taken)
        markDone(header);
    return taken;
}

MIDIHDR* MidiHeaderQueue::takePartlyFilled()
{
    const std::lock_guard lock(mutex_);
    if (headers_.empty() || headers_.front()->dwBytesRecorded == 0)
        return nullptr;
    MIDIHDR* header = headers_.front();
    headers_.pop_front();
    markDone(header);
    return header;
}

void MidiHeaderQueue::clear()
{
    const std::lock_guard lock(mutex_);
    for (MIDIHDR* header : headers_)
        header->dwFlags &= ~MHDR_INQUEUE;
    headers_.clear();
}

void MidiHeaderQueue::markDone(MIDIHDR* header)
{
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
}

}  // namespace corvello
