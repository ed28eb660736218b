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

}  // namespace

bool captureScreenArea(const WindowRect& area, std::span<std::uint8_t> pixels)
{
    const PixelSize size{area.width(), area.height()};
    if (pixelBytes(size) == 0 || pixels.size() < pixelBytes(size))
        return false;
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    bool captured = false;
    {
        MemoryCanvas canvas(screen, size);
        captured = canvas.ready() &&
                   BitBlt(canvas.context(), 0, 0, size.width, size.height, screen, area.left, area.top,
                          kCopyWithLayeredWindows) &&
                   canvas.readInto(size, pixels);
    }
    ReleaseDC(nullptr, screen);
    return captured;
}

bool captureWindowThumbnail(HWND window, PixelSize size, std::span<std::uint8_t> pixels)
{
    RECT rect;
    if (pixelBytes(size) == 0 || pixels.size() < pixelBytes(size) || !IsWindow(window) || !GetWindowRect(window, &rect))
        return false;
    HDC source = GetWindowDC(window);
    if (!source)
        return false;
    bool captured = false;
    {
        MemoryCanvas canvas(source, size);
        if (canvas.ready()) {
            SetStretchBltMode(canvas.context(), HALFTONE);
            SetBrushOrgEx(canvas.context(), 0, 0, nullptr);  // required after choosing HALFTONE
            captured = StretchBlt(canvas.context(), 0, 0, size.width, size.height, source, 0, 0,
                                  rect.right - rect.left, rect.bottom - rect.top, SRCCOPY) &&
                       canvas.readInto(size, pixels);
        }
    }
    ReleaseDC(window, source);
    return captured;
}

}  // namespace corvello
