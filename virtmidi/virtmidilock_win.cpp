#include "virtmidi/virtmidilock.h"

#include <string>

#include <windows.h>

#include "platform/DebugOutput.h"
#include "virtmidi/virtmidiprotocol.h"

namespace corvello {

namespace {

// Nobody ever waits on the mutex: its existence under the GUID's name is the
// whole signal, so the handle simply stays open while the server runs.
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
    HANDLE mutex = CreateMutexA(nullptr, FALSE, virtMidiGuid);
    if (mutex == nullptr) {
        debugOutput(("Virtual MIDI: cannot create the server mutex, error " +
                     std::to_string(GetLastError()) + "\n").c_str());
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
