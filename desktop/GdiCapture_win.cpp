#include "desktop/BitmapFile.h"
#include "desktop/LittleEndian.h"
#include "desktop/Win32Desktop.h"
#include "platform/DebugOutput.h"

namespace corvello {

namespace {

constexpr DWORD kCopyWithLayeredWindows = SRCCOPY | CAPTUREBLT;  // 0x40CC0020

// BITMAPINFO with room for the colour masks or palette that a format query
// may write after the header.
struct BitmapFormat {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// Reads the bitmap as 32-bit pixels, top row first, in the stream's layout.
bool readPixels(HDC dc, HBITMAP bitmap, PixelSize size, std::span<std::uint8_t> pixels)
{
    if (pixels.size() < pixelBytes(size))
        return false;
    BitmapFormat format{};
    format.header.biSize = sizeof(BITMAPINFOHEADER);
    auto* info = reinterpret_cast<BITMAPINFO*>(&format);
    if (!GetDIBits(dc, bitmap, 0, 0, nullptr, info, DIB_RGB_COLORS) || format.header.biWidth != size.width) {
        debugOutput("Error GetDIBits Fail");
        return false;
    }
    format.header.biBitCount = kBitmapBitsPerPixel;
    format.header.biCompression = BI_RGB;
    format.header.biHeight = -size.height;  // top-down: rows arrive top row first
    format.header.biSizeImage = 0;
    format.header.biClrUsed = 0;
    const int rows = GetDIBits(dc, bitmap, 0, static_cast<UINT>(size.height), pixels.data(), info, DIB_RGB_COLORS);
    if (rows != size.height) {
        debugOutput("Error GetDIBits Fail");
        return false;
    }
    for (std::size_t at = 0; at < pixelBytes(size); at += 4)
        pixels[at + 3] = 0;  // the fourth byte is undefined in screen bitmaps
    return true;
}

// A memory bitmap of `size` compatible with `reference`, selected into its own DC.
class MemoryCanvas {
public:
    MemoryCanvas(HDC reference, PixelSize size)
        : dc(CreateCompatibleDC(reference)), bitmap(CreateCompatibleBitmap(reference, size.width, size.height))
    {
        if (dc && bitmap)
            previous = SelectObject(dc, bitmap);
    }
    ~MemoryCanvas()
    {
        if (previous)
            SelectObject(dc, previous);
        if (bitmap)
            DeleteObject(bitmap);
        if (dc)
            DeleteDC(dc);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    bool ready() const { return previous != nullptr; }
    HDC context() const { return dc; }

    // The bitmap must leave the DC before its bits are read.
    bool readInto(PixelSize size, std::span<std::uint8_t> pixels)
    {
        SelectObject(dc, previous);
        previous = nullptr;
        return readPixels(dc, bitmap, size, pixels);
    }

private:
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous = nullptr;
};

// Draws from `source` into a memory bitmap of `size` and reads its pixels.
template <typename Draw>
bool drawAndRead(HDC source, PixelSize size, std::span<std::uint8_t> pixels, Draw draw)
{
    if (pixelBytes(size) == 0 || pixels.size() < pixelBytes(size))
        return false;
    MemoryCanvas canvas(source, size);
    return canvas.ready() && draw(canvas.context()) && canvas.readInto(size, pixels);
}

}  // namespace

bool captureScreenArea(const WindowRect& area, std::span<std::uint8_t> pixels)
{
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    const PixelSize size{area.width(), area.height()};
    const bool captured = drawAndRead(screen, size, pixels, [&](HDC canvas) {
        return BitBlt(canvas, 0, 0, size.width, size.height, screen, area.left, area.top,
                      kCopyWithLayeredWindows) != FALSE;
    });
    ReleaseDC(nullptr, screen);
    return captured;
}

bool captureWindowThumbnail(HWND window, PixelSize size, std::span<std::uint8_t> pixels)
{
    RECT rect;
    if (!IsWindow(window) || !GetWindowRect(window, &rect))
        return false;
    HDC source = GetWindowDC(window);
    if (!source)
        return false;
    const bool captured = drawAndRead(source, size, pixels, [&](HDC canvas) {
        SetStretchBltMode(canvas, HALFTONE);
        SetBrushOrgEx(canvas, 0, 0, nullptr);  // required after choosing HALFTONE
        return StretchBlt(canvas, 0, 0, size.width, size.height, source, 0, 0, rect.right - rect.left,
                          rect.bottom - rect.top, SRCCOPY) != FALSE;
    });
    ReleaseDC(window, source);
    return captured;
}

}  // namespace corvello
