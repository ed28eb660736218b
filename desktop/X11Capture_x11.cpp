#include "desktop/X11Capture.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>

namespace corvello {

namespace {

// Bounds what one capture may allocate, whatever size a window claims.
constexpr std::uint64_t kMaxCaptureBytes = 256ull << 20;

WindowRect intersect(const WindowRect& a, const WindowRect& b)
{
    const WindowRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                       std::min(a.bottom, b.bottom)};
    return r.width() > 0 && r.height() > 0 ? r : WindowRect{};
}

bool isTrueColour32(const XImage& image)
{
    return image.bits_per_pixel == 32 && image.red_mask == 0xFF0000 && image.green_mask == 0xFF00 &&
           image.blue_mask == 0xFF && image.bytes_per_line % 4 == 0;
}

PixelView viewOf(const XImage& image)
{
    return {reinterpret_cast<const std::uint32_t*>(image.data), {image.width, image.height},
            static_cast<std::size_t>(image.bytes_per_line / 4)};
}

}  // namespace

X11Capture::~X11Capture()
{
    // At exit the server may be gone: only this process's side is undone.
    releaseImage();
    if (segment.shmaddr)
        shmdt(segment.shmaddr);
}

std::optional<PixelView> X11Capture::capture(X11Display& x, const WindowRect& area)
{
    Display* d = x.connection();
    const std::uint64_t bytes = std::uint64_t(std::max(area.width(), 0)) * std::uint64_t(std::max(area.height(), 0)) * 4;
    if (!d || bytes == 0 || bytes > kMaxCaptureBytes)
        return std::nullopt;
    if (d != display) {
        // A new connection: the old one, and what the server held for it, is gone.
        releaseImage();
        if (segment.shmaddr)
            shmdt(segment.shmaddr);
        segment = {};
        segmentBytes = 0;
        attached = false;
        sharedMemoryRefused = false;
        display = d;
    }
    const WindowRect screen{0, 0, DisplayWidth(d, x.screen()), DisplayHeight(d, x.screen())};
    const WindowRect visible = intersect(area, screen);
    if (visible.left == area.left && visible.top == area.top && visible.right == area.right &&
        visible.bottom == area.bottom)
        return read(x, visible);

    const auto width = static_cast<std::size_t>(area.width());
    composed.assign(width * static_cast<std::size_t>(area.height()), 0);
    if (visible.width() > 0) {
        const auto part = read(x, visible);
        if (!part)
            return std::nullopt;
        for (std::int32_t y = 0; y < visible.height(); ++y)
            std::memcpy(&composed[(std::size_t(visible.top - area.top + y) * width) + (visible.left - area.left)],
                        part->row(y), std::size_t(visible.width()) * 4);
    }
    return PixelView{composed.data(), {area.width(), area.height()}, width};
}

std::optional<PixelView> X11Capture::read(X11Display& x, const WindowRect& visible)
{
    lastUsedSharedMemory = !sharedMemoryRefused && readShared(x, visible);
    if (!lastUsedSharedMemory && !readCopied(x, visible))
        return std::nullopt;
    if (!isTrueColour32(*image))
        return std::nullopt;
    if (image->byte_order == LSBFirst)
        return viewOf(*image);
    // A big-endian server: the one case that needs a pass over every pixel.
    const PixelView swapped = viewOf(*image);
    const auto width = static_cast<std::size_t>(image->width);
    converted.resize(width * static_cast<std::size_t>(image->height));
    for (std::int32_t y = 0; y < image->height; ++y)
        for (std::size_t column = 0; column < width; ++column)
            converted[y * width + column] = __builtin_bswap32(swapped.row(y)[column]);
    return PixelView{converted.data(), {image->width, image->height}, width};
}

bool X11Capture::readShared(X11Display& x, const WindowRect& visible)
{
    Display* d = display;
    if (!XShmQueryExtension(d)) {
        sharedMemoryRefused = true;
        return false;
    }
    if (!image || !imageIsShared || image->width != visible.width() || image->height != visible.height()) {
        releaseImage();
        image = XShmCreateImage(d, DefaultVisual(d, x.screen()), static_cast<unsigned>(DefaultDepth(d, x.screen())),
                                ZPixmap, nullptr, &segment, static_cast<unsigned>(visible.width()),
                                static_cast<unsigned>(visible.height()));
        if (!image) {
            sharedMemoryRefused = true;
            return false;
        }
        imageIsShared = true;
    }
    if (!ensureSegment(x, static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(image->height))) {
        releaseImage();
        releaseShared();
        sharedMemoryRefused = true;
        return false;
    }
    image->data = segment.shmaddr;
    // One round trip: an error arrives instead of the reply and makes this fail.
    return XShmGetImage(d, x.root(), image, visible.left, visible.top, AllPlanes) != False;
}

bool X11Capture::ensureSegment(X11Display&, std::size_t bytes)
{
    if (attached && segmentBytes >= bytes)
        return true;
    releaseShared();
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    segment.shmid = id;
    segment.shmaddr = static_cast<char*>(address);
    segment.readOnly = False;
    X11Display::ErrorTrap trap(display);
    const Bool ok = XShmAttach(display, &segment);
    attached = !trap.failed() && ok;
    // Marked for removal at once: it goes away with the last detach, even if this process dies.
    shmctl(id, IPC_RMID, nullptr);
    if (!attached) {
        shmdt(segment.shmaddr);
        segment = {};
        return false;
    }
    segmentBytes = bytes;
    return true;
}

void X11Capture::releaseShared()
{
    if (attached) {
        XShmDetach(display, &segment);
        XSync(display, False);
    }
    if (segment.shmaddr)
        shmdt(segment.shmaddr);
    segment = {};
    segmentBytes = 0;
    attached = false;
}

bool X11Capture::readCopied(X11Display& x, const WindowRect& visible)
{
    releaseImage();
    // As above: an error comes back instead of the image.
    image = XGetImage(display, x.root(), visible.left, visible.top, static_cast<unsigned>(visible.width()),
                      static_cast<unsigned>(visible.height()), AllPlanes, ZPixmap);
    imageIsShared = false;
    return image != nullptr;
}

void X11Capture::releaseImage()
{
    if (!image)
        return;
    if (imageIsShared)
        image->data = nullptr;  // the segment's, not Xlib's to free
    XDestroyImage(image);
    image = nullptr;
}

}  // namespace corvello
