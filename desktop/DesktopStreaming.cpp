// Window pictures: the watched window in full and then as changed tiles, and
// the thumbnails of the window list.

#include <algorithm>
#include <limits>

#include "desktop/BitmapFile.h"
#include "desktop/DesktopController.h"
#include "desktop/ImageStreaming.h"

namespace corvello {

namespace {

constexpr float kThumbnailSide = 150.0f;

std::int32_t clampToInt(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

PixelSize sizeOf(const WindowRect& rect)
{
    return {rect.width(), rect.height()};
}

PixelSize thumbnailSize(PixelSize window)
{
    const auto longer = static_cast<float>(std::max(window.width, window.height));
    const float scale = longer > kThumbnailSide ? kThumbnailSide / longer : 1.0f;
    return {truncateToInt(static_cast<float>(window.width) * scale),
            truncateToInt(static_cast<float>(window.height) * scale)};
}

bool positive(PixelSize size)
{
    return size.width > 0 && size.height > 0;
}

}  // namespace

void DesktopController::requestImage(std::string_view argument, bool changesOnly)
{
    const WindowHandle window = ids.handleOf(readLeadingInt(argument));
    if (!isInFront(window)) {
        sendNoImage(replies());
        sendHiddenNoticeIfDue();
        return;
    }
    sendFocusedNoticeIfDue();
    std::optional<WindowRect> targetRect;
    if (targetWindow != kNoWindow) {
        targetRect = services.windowRect(targetWindow);
        if (targetRect)
            sendSizeNoticeIfDue(window, sizeOf(*targetRect));
    }
    // Each query is a round trip to the display server; the target's
    // rectangle serves the capture too when the target is the window asked for.
    const std::optional<WindowRect> windowRect = window == targetWindow ? targetRect : std::nullopt;
    auto buffers = leaseImageBuffers();
    if (changesOnly)
        sendImageChanges(window, windowRect, *buffers);
    else
        sendFullImage(window, windowRect, *buffers);
}

void DesktopController::sendFullImage(WindowHandle window, const std::optional<WindowRect>& rect,
                                      ImageBuffers& buffers)
{
    if (window <= 0) {
        needFullFrame = true;
        return;
    }
    needFullFrame = false;
    const auto captured = capture(window, rect);
    if (!captured)
        return;
    streamedWindow = window;
    windowSize = {static_cast<float>(captured->picture.size.width), static_cast<float>(captured->picture.size.height)};
    sendSizeNoticeIfDue(targetWindow, captured->fullSize);
    streamWatchedImage(replies(), captured->picture, buffers);
    buffers.referenceOwner = this;
}

void DesktopController::sendImageChanges(WindowHandle window, const std::optional<WindowRect>& rect,
                                         ImageBuffers& buffers)
{
    if (window <= 0) {
        needFullFrame = true;
        return;
    }
    if (window != streamedWindow || needFullFrame || buffers.referenceOwner != this)
        sendFullImage(window, rect, buffers);
    const auto captured = capture(window, rect);
    const PixelSize expected{truncateToInt(windowSize.x), truncateToInt(windowSize.y)};
    // Tiles only make sense against this window's own previous picture.
    if (!captured || captured->picture.size != expected || streamedWindow != window ||
        buffers.referenceOwner != this) {
        sendFullImage(window, rect, buffers);
        return;
    }
    sendSizeNoticeIfDue(targetWindow, captured->fullSize);
    streamTileChanges(replies(), captured->picture, buffers);
}

// Call with the image buffers leased: the view lives until the next capture.
std::optional<DesktopController::Capture> DesktopController::capture(WindowHandle window,
                                                                   const std::optional<WindowRect>& knownRect)
{
    const auto rect = knownRect ? knownRect : services.windowRect(window);
    if (!rect)
        return std::nullopt;
    const PixelSize full = sizeOf(*rect);
    const PixelSize size{std::min(full.width, settings.captureWidthLimit()),
                         std::min(full.height, settings.captureHeightLimit())};
    // The reference frame must be able to keep what is captured.
    if (!positive(size) || pixelBytes(size) > kReferenceFrameSize)
        return std::nullopt;
    const DesktopPoint origin = settings.origin();
    const std::int32_t left = clampToInt(std::int64_t{rect->left} - origin.x);
    const std::int32_t top = clampToInt(std::int64_t{rect->top} - origin.y);
    const WindowRect area{left, top, clampToInt(std::int64_t{left} + size.width),
                          clampToInt(std::int64_t{top} + size.height)};
    if (sizeOf(area) != size)
        return std::nullopt;
    const auto picture = services.captureWindow(window, area);
    if (!picture || picture->size != size || picture->stride < static_cast<std::size_t>(size.width))
        return std::nullopt;
    return Capture{*picture, full};
}

void DesktopController::streamThumbnail(WindowHandle window, std::int32_t imageIndex)
{
    const auto rect = services.windowRect(window);
    if (!rect || !positive(sizeOf(*rect)))
        return;
    const PixelSize size = thumbnailSize(sizeOf(*rect));
    if (!positive(size))
        return;
    auto buffers = leaseImageBuffers();
    const auto pixels = startBitmapFile(buffers->thumbnail, size);
    if (!pixels || !services.captureThumbnail(window, size, *pixels))
        return;
    streamImage(replies(), bitmapFileBytes(buffers->thumbnail, size), imageIndex, size, *buffers);
}

}  // namespace corvello
