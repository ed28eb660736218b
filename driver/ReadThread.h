#pragma once
// The one thread per process that keeps a read outstanding on every connected
// pipe and runs the input path for what arrives. Windows: overlapped reads
// (ReadFileEx on the client handles) with completion routines during an
// alertable wait. POSIX: poll, then virtMidiRead on the readable sockets.

#include "driver/PortRecord.h"

#include <cstdint>
#include <memory>

namespace corvello {

class ReadThread {
public:
    ReadThread();
    ~ReadThread();
    ReadThread(const ReadThread&) = delete;
    ReadThread& operator=(const ReadThread&) = delete;

    // True while started and not yet stopped, even when the thread has ended
    // by itself.
    bool started() const;

    bool start(PortRecord* records, std::uint32_t count);

    // Asks the thread to cancel its reads and end, and waits at most 1000 ms
    // for it to say it has; what happens after that is the platform's
    // fallback (see the implementation). Called on the thread itself (an
    // application closing its last device from its callback) it only asks:
    // the next start, or the destructor, waits for the end.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace corvello
