#include "virtmidi/virtmidilock.h"

#include <string>

#include <windows.h>

#include "platform/Log.h"
#include "virtmidi/virtmidiprotocol.h"
#include "virtmidi/virtmidisecurity_win.h"

namespace corvello {

namespace {

// Nobody ever waits on the mutex: its existence under the GUID's name is the
// whole signal, so the handle simply stays open while the server runs. The
// name is in the session's namespace: each session has a server of its own.
class MutexServerLock final : public VirtMidiServerLock {
public:
    explicit MutexServerLock(HANDLE mutex) : mutex_(mutex) {}
    ~MutexServerLock() override { CloseHandle(mutex_); }

private:
    HANDLE mutex_;
};

}  // namespace

VirtMidiServerLock::Outcome VirtMidiServerLock::acquire(std::unique_ptr<VirtMidiServerLock>& lock)
{
    HANDLE mutex = CreateMutexA(virtMidiSecurityAttributes(), FALSE, virtMidiGuid);
    if (mutex == nullptr) {
        if (GetLastError() == ERROR_ACCESS_DENIED)
            log::error("Virtual MIDI: the server mutex %s exists but this user may not open it",
                       virtMidiGuid);
        else
            log::error("Virtual MIDI: cannot create the server mutex, error %lu", GetLastError());
        return Outcome::unavailable;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return Outcome::heldByAnotherServer;
    }
    lock = std::make_unique<MutexServerLock>(mutex);
    return Outcome::acquired;
}

bool virtMidiServerRunning()
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, virtMidiGuid);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

}  // namespace corvello
