// Window pictures on Windows: drawn into a DIB section, whose bits are read
// where GDI put them.

#include <algorithm>
#include <cstring>

#include "desktop/BitmapFile.h"
#include "desktop/PictureSource.h"
#include "desktop/Win32Desktop.h"
#include "platform/Log.h"

namespace corvello {

namespace {

constexpr DWORD kCopyWithLayeredWindows = SRCCOPY | CAPTUREBLT;  // 0x40CC0020
// PW_RENDERFULLCONTENT (Windows 8.1 on; older systems ignore it), which the
// headers show only when building for 8.1 or later.
constexpr UINT kRenderFullContent = 0x00000002;
constexpr UINT kDefaultDpi = 96;
// Bounds the full-size picture a thumbnail is shrunk from.
constexpr std::uint64_t kMaxThumbnailSource = 256ull << 20;

log::RateLimitedLog captureFailures(log::Level::error);

// Per-monitor DPI queries exist from Windows 8.1 and 10 1607 on; without
// them every window draws at its monitor's scale.
struct DpiQueries {
    using ForWindow = UINT(WINAPI*)(HWND);
    using ForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    ForWindow forWindow = nullptr;
    ForMonitor forMonitor = nullptr;

    DpiQueries()
    {
        if (HMODULE user = GetModuleHandleA("user32.dll"))
            forWindow = reinterpret_cast<ForWindow>(reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
        if (HMODULE shcore = LoadLibraryA("shcore.dll"))
            forMonitor =
                reinterpret_cast<ForMonitor>(reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    }
};

const DpiQueries& dpiQueries()
{
    static const DpiQueries queries;
    return queries;
}

PictureRequest describe(HWND window, const WindowRect& area)
{
    PictureRequest request;
    request.isDesktop = window == GetDesktopWindow();
    RECT rect;
    request.startsAtWindowCorner = GetWindowRect(window, &rect) && rect.left == area.left && rect.top == area.top;
    const DpiQueries& dpi = dpiQueries();
    if (dpi.forWindow && dpi.forMonitor) {
        UINT x = kDefaultDpi, y = kDefaultDpi;
        constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
        if (dpi.forMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), kEffectiveDpi, &x, &y) == S_OK) {
            request.monitorDpi = x;
            request.windowDpi = dpi.forWindow(window);
        }
    }
    return request;
}

bool blitScreen(const WindowRect& area, DibCanvas& canvas)
{
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    const PixelSize size{area.width(), area.height()};
    const bool drawn = canvas.prepare(screen, size) &&
                       BitBlt(canvas.context(), 0, 0, size.width, size.height, screen, area.left, area.top,
                              kCopyWithLayeredWindows) != FALSE;
    ReleaseDC(nullptr, screen);
    return drawn;
}

// The window draws itself, GPU and compositor content included; its top-left
// part when the canvas is smaller than the window.
bool printWindow(HWND window, PixelSize size, DibCanvas& canvas)
{
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    const bool ready = canvas.prepare(screen, size);
    ReleaseDC(nullptr, screen);
    return ready && PrintWindow(window, canvas.context(), kRenderFullContent) != FALSE;
}

}  // namespace

DibCanvas::~DibCanvas()
{
    release();
}

void DibCanvas::release()
{
    if (previous)
        SelectObject(dc, previous);
    if (bitmap)
        DeleteObject(bitmap);
    if (dc)
        DeleteDC(dc);
    dc = nullptr;
    bitmap = nullptr;
    previous = nullptr;
    bits = nullptr;
    size = {};
}

bool DibCanvas::prepare(HDC reference, PixelSize wanted)
{
    if (bits && wanted == size)
        return true;
    release();
    if (pixelBytes(wanted) == 0)
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = wanted.width;
    info.bmiHeader.biHeight = -wanted.height;  // top-down: rows lie top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = kBitmapBitsPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    dc = CreateCompatibleDC(reference);
    bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0) : nullptr;
    if (!bitmap || !memory) {
        captureFailures("Error CreateDIBSection failed for %d x %d (error %lu)", wanted.width, wanted.height,
                        GetLastError());
        release();
        return false;
    }
    previous = SelectObject(dc, bitmap);
    bits = static_cast<std::uint32_t*>(memory);
    size = wanted;
    return true;
}

PixelView DibCanvas::view() const
{
    GdiFlush();  // GDI may still be drawing into the section
    return {bits, size, static_cast<std::size_t>(size.width)};
}

std::optional<PixelView> captureWindowPicture(HWND window, const WindowRect& area, DibCanvas& canvas)
{
    const PixelSize size{area.width(), area.height()};
    if (pixelBytes(size) == 0)
        return std::nullopt;
    const bool fromWindow = IsWindow(window) && pictureSource(describe(window, area)) == PictureSource::window;
    if ((fromWindow && printWindow(window, size, canvas)) || blitScreen(area, canvas))
        return canvas.view();
    captureFailures("Error capturing %d x %d at %d,%d (error %lu)", size.width, size.height, area.left, area.top,
                    GetLastError());
    return std::nullopt;
}

bool captureWindowThumbnail(HWND window, PixelSize size, DibCanvas& full, DibCanvas& small,
                            std::span<std::uint8_t> pixels)
{
    RECT rect;
    if (!IsWindow(window) || !GetWindowRect(window, &rect) || pixels.size() < pixelBytes(size))
        return false;
    const PixelSize windowSize{rect.right - rect.left, rect.bottom - rect.top};
    const WindowRect area{rect.left, rect.top, rect.right, rect.bottom};
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    const bool ready = small.prepare(screen, size);
    ReleaseDC(nullptr, screen);
    if (!ready)
        return false;
    SetStretchBltMode(small.context(), HALFTONE);
    SetBrushOrgEx(small.context(), 0, 0, nullptr);  // required after choosing HALFTONE

    const bool printable = pixelBytes(windowSize) <= kMaxThumbnailSource &&
                           pictureSource(describe(window, area)) == PictureSource::window;
    bool drawn = printable && printWindow(window, windowSize, full) &&
                 StretchBlt(small.context(), 0, 0, size.width, size.height, full.context(), 0, 0, windowSize.width,
                            windowSize.height, SRCCOPY);
    if (!drawn) {
        HDC source = GetWindowDC(window);
        if (!source)
            return false;
        drawn = StretchBlt(small.context(), 0, 0, size.width, size.height, source, 0, 0, windowSize.width,
                           windowSize.height, SRCCOPY) != FALSE;
        ReleaseDC(window, source);
    }
    if (!drawn)
        return false;
    const PixelView view = small.view();
    for (std::int32_t y = 0; y < size.height; ++y) {
        const std::uint32_t* row = view.row(y);
        std::uint8_t* out = pixels.data() + std::size_t(y) * size.width * 4;
        for (std::int32_t x = 0; x < size.width; ++x) {
            const std::uint32_t colour = row[x] & 0x00FFFFFF;  // GDI leaves the fourth byte undefined
            std::memcpy(out + x * 4, &colour, 4);
        }
    }
    return true;
}

}  // namespace corvello
