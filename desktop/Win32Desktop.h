#pragma once
// Pieces of the Win32 desktop backend shared by its translation units.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>

#include "desktop/DesktopServices.h"

namespace corvello {

// HWNDs are 32-bit values sign-extended to pointer width, on 64-bit Windows too.
inline HWND toHwnd(WindowHandle handle)
{
    return reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle));
}

inline WindowHandle fromHwnd(HWND window)
{
    return static_cast<WindowHandle>(reinterpret_cast<std::intptr_t>(window));
}

// Makes the window the foreground window, working around the rules that keep
// a background program from taking the focus; a minimized window is only
// restored.
void bringWindowToFront(HWND window);

// A top-down 32-bit DIB section selected into its own memory DC: GDI draws
// into it and its bits are read where they lie, with no copy.
class DibCanvas {
public:
    DibCanvas() = default;
    ~DibCanvas();
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    // Ready for a picture of `size`; the section is kept while the size stays.
    bool prepare(HDC reference, PixelSize size);
    HDC context() const { return dc; }
    // The pixels, once GDI has finished drawing.
    PixelView view() const;

private:
    void release();

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    std::uint32_t* bits = nullptr;
    PixelSize size;
};

// The window's picture at `area` (PictureSource.h says whether it is drawn
// by the window or blitted from the screen, layered windows included).
std::optional<PixelView> captureWindowPicture(HWND window, const WindowRect& area, DibCanvas& canvas);

// Shrinks what the window draws (frame included) with a half-tone stretch;
// `full` holds the window's own full-size drawing on the way.
bool captureWindowThumbnail(HWND window, PixelSize size, DibCanvas& full, DibCanvas& small,
                            std::span<std::uint8_t> pixels);

// Whether the window's program runs at a higher integrity level than this
// one (elevated while Corvello is not): Windows then drops the input this
// program injects into it and refuses to give it the foreground, silently.
bool outranksThisProgram(HWND window);

}  // namespace corvello
