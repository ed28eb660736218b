#pragma once
// Pieces of the Win32 desktop backend shared by its translation units.

#include <windows.h>

#include <cstdint>
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

// Copies a screen area, layered windows included (GDI blit with CAPTUREBLT).
bool captureScreenArea(const WindowRect& area, std::span<std::uint8_t> pixels);

// Shrinks what the window draws (frame included) with a half-tone stretch.
bool captureWindowThumbnail(HWND window, PixelSize size, std::span<std::uint8_t> pixels);

}  // namespace corvello
