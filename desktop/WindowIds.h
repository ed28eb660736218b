#pragma once
// The remote names windows by small ids instead of the platform's handles:
// command 4 carries its window in a 32-bit float, exact only below 2^24, and
// handles grow past that (X11 ids of later clients, long-running Windows
// sessions). Each window list renews the table. An id keeps its window for
// as long as the window stays listed or in use, and is never given to
// another window meanwhile, so a stale id from the remote finds nothing
// rather than the wrong window.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "desktop/DesktopServices.h"

namespace corvello {

using WindowId = std::int32_t;

class WindowIds {
public:
    // Ids are handed out below this bound, where a float holds them exactly.
    static constexpr WindowId kIdLimit = 1 << 24;

    // Keeps the ids of `listed` and `inUse` (handles the controller still
    // works with), gives the handles new to the table fresh ids, and forgets
    // every other handle.
    void renew(std::span<const WindowHandle> listed, std::initializer_list<WindowHandle> inUse);

    // The id to hand the remote for `handle`; a handle not yet in the table
    // (the desktop, for one) gets a fresh id. 0 and kNoWindow stand for
    // themselves: they name no window.
    WindowId idOf(WindowHandle handle);

    // The handle behind an id from the remote: kNoWindow for an id it was
    // not given (or no longer holds), 0 for 0.
    WindowHandle handleOf(WindowId id) const;

private:
    struct Entry {
        WindowId id;
        WindowHandle handle;
    };

    static bool namesNoWindow(WindowHandle handle) { return handle == 0 || handle == kNoWindow; }
    const Entry* findHandle(WindowHandle handle) const;
    WindowId freshId();

    std::vector<Entry> entries;
    WindowId lastId = 0;
};

}  // namespace corvello
