#pragma once
// The application's input buffers for system-exclusive bytes, first in first
// out. Filled on the read thread, added to and returned on application
// threads. Buffers are taken only while the device is open: between a
// successful close and the next open the queue refuses them.
//
// The lock is held while a byte is stored, not only while the queue changes:
// otherwise a reset could return the buffer, and the application free it,
// between taking the front header and writing into it. It is never held
// while the application is notified. A header that has left the queue is
// never touched again.

#include "driver/WinMMAbi.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace corvello {

class MidiHeaderQueue {
public:
    // Takes buffers from now on.
    void open();

    // Stops taking buffers and answers true when none is queued; with buffers
    // still queued answers false and changes nothing.
    bool close();

    // Empties the header (nothing recorded, buffer zeroed), marks it in queue
    // and appends it. The caller has checked that its buffer has room. Its
    // flags are checked here, under the lock, since a reset on another thread
    // writes the flags of queued headers: MIDIERR_UNPREPARED, or
    // MIDIERR_STILLPLAYING when it is queued already, or
    // MMSYSERR_INVALHANDLE while the queue is closed, the header untouched.
    MMRESULT add(MIDIHDR* header);

    // Stores the byte in the front buffer. When that fills the buffer, or
    // `complete` is set, the header leaves the queue marked done and is
    // returned for handing back. Returns null otherwise, and when no buffer
    // is queued (the byte is dropped).
    MIDIHDR* append(std::uint8_t byte, bool complete);

    // Every queued header leaves the queue marked done, in queue order, with
    // what it recorded so far: for handing back.
    std::vector<MIDIHDR*> takeAll();
    // The front header, if it has recorded anything; the empty ones stay.
    MIDIHDR* takePartlyFilled();

    // Forgets every queued buffer; they are no longer marked in queue, so the
    // application may unprepare and free them.
    void clear();

    // For the one caller that must be sure no other thread is inside.
    std::mutex& mutex() { return mutex_; }

private:
    static void markDone(MIDIHDR* header);

    std::mutex mutex_;
    std::deque<MIDIHDR*> headers_;
    bool open_ = false;
};

}  // namespace corvello
