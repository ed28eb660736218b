#pragma once
// Where the Windows backend takes a window's picture from. Asking the window
// to draw itself (PrintWindow with PW_RENDERFULLCONTENT) sees what a blit of
// the screen misses: content that the GPU or the compositor renders. It is
// right only when the window draws at the pixels the screen shows: a window
// the system scales for DPI draws at its logical size, and a picture moved
// by the desktop origin is of the screen, not of the window. Those, and the
// desktop itself, come from the screen.

#include <cstdint>

namespace corvello {

enum class PictureSource { window, screen };

struct PictureRequest {
    bool isDesktop = false;
    bool startsAtWindowCorner = false;  // the area's top-left is the window's
    std::uint32_t windowDpi = 96;       // what the window draws at
    std::uint32_t monitorDpi = 96;      // what its monitor shows
};

inline PictureSource pictureSource(const PictureRequest& request)
{
    if (request.isDesktop || !request.startsAtWindowCorner || request.windowDpi != request.monitorDpi)
        return PictureSource::screen;
    return PictureSource::window;
}

}  // namespace corvello
