#pragma once
// Reading the screen on X11. With the shared-memory extension the server
// writes the pixels straight into memory this process reads (no copy on
// either side); without it (a remote display, a server that lacks it)
// XGetImage is used. Either way the pixels are handed on where Xlib put
// them; only an area partly off the screen, or a server whose pixel format
// is not the usual 32-bit little-endian true colour, costs a copy.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "desktop/DesktopServices.h"
#include "desktop/X11Display.h"

namespace corvello {

class X11Capture {
public:
    X11Capture() = default;
    ~X11Capture();
    X11Capture(const X11Capture&) = delete;
    X11Capture& operator=(const X11Capture&) = delete;

    // The root window's pixels in `area`; parts off the screen are black.
    // Valid until the next call.
    std::optional<PixelView> capture(X11Display& x, const WindowRect& area);

    // Whether the last capture came through shared memory.
    bool usedSharedMemory() const { return lastUsedSharedMemory; }

private:
    std::optional<PixelView> read(X11Display& x, const WindowRect& visible);
    bool readShared(X11Display& x, const WindowRect& visible);
    bool readCopied(X11Display& x, const WindowRect& visible);
    bool ensureSegment(X11Display& x, std::size_t bytes);
    void releaseShared();
    void releaseImage();

    Display* display = nullptr;  // the connection the segment is attached to
    bool sharedMemoryRefused = false;
    XShmSegmentInfo segment{};
    std::size_t segmentBytes = 0;
    bool attached = false;
    XImage* image = nullptr;        // the last capture's image (shared or not)
    bool imageIsShared = false;
    std::vector<std::uint32_t> converted;  // a big-endian server's pixels
    std::vector<std::uint32_t> composed;   // an area partly off the screen
    bool lastUsedSharedMemory = false;
};

}  // namespace corvello
