#pragma once
// The single-instance lock of the virtual MIDI server: a named mutex on
// Windows, an exclusive flock on R/G.lock on POSIX. Its existence is the
// whole signal a client looks for.

#include <memory>

namespace corvello {

class VirtMidiServerLock {
public:
    enum class Outcome {
        acquired,
        heldByAnotherServer,
        unavailable,  // the system refused; already reported on the debugger output
    };

    // Takes the lock for this process; `lock` holds it until destroyed.
    static Outcome acquire(std::unique_ptr<VirtMidiServerLock>& lock);

    virtual ~VirtMidiServerLock() = default;
};

// True while some process holds the lock, this one included.
bool virtMidiServerRunning();

}  // namespace corvello
