#pragma once
// The application's input buffers for system-exclusive bytes, first in first
// out. Filled on the read thread, added to on application threads.
//
// The lock is held while a byte is stored, not only while the queue changes:
// otherwise a close could empty the queue, and the application free the
// buffer, between taking the front header and writing into it. It is never
// held while the application is notified.

#include "driver/WinMMAbi.h"

#include <cstdint>
#include <deque>
#include <mutex>

namespace corvello {

class MidiHeaderQueue {
public:
    // Empties the header (nothing recorded, buffer zeroed), marks it in queue
    // and appends it. The caller has checked that its buffer has room.
    void add(MIDIHDR* header);

    // Stores the byte in the front buffer. When that fills the buffer, or
    // `complete` is set, the header leaves the queue marked done and is
    // returned for handing back; the queue never touches it again. Returns
    // null otherwise, and when no buffer is queued (the byte is dropped).
    MIDIHDR* append(std::uint8_t byte, bool complete);

    // Forgets every queued buffer; they are no longer marked in queue, so the
    // application may unprepare and free them.
    void clear();

    // For the one caller that must be sure no other thread is inside.
    std::mutex& mutex() { return mutex_; }

private:
    std::mutex mutex_;
    std::deque<MIDIHDR*> headers_;
};

}  // namespace corvello
