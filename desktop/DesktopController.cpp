#include "desktop/DesktopController.h"

#include "platform/Log.h"

namespace corvello {

namespace {

// Stands in for the queue until the translator provides one: commands still
// run (flags and caches change), their replies go nowhere.
class DroppingQueue final : public RemoteQueue {
public:
    void send(const MessageRecord&) override {}
};

}  // namespace

DesktopController::DesktopController(DesktopServices& services, DesktopSettings& settings)
    : services(services), settings(settings)
{
    settings.setCaptureLimits(kDefaultCaptureWidthLimit, kDefaultCaptureHeightLimit);
}

void DesktopController::setHost(std::int32_t, RemoteQueue* replyQueue)
{
    queue = replyQueue;
    refusalReported = false;
}

void DesktopController::receive(const MessageRecord& record)
{
    if (settings.allowsControl())
        execute(record);
    else
        noteRefusedCommand(record);
}

void DesktopController::noteRefusedCommand(const MessageRecord& record)
{
    if (refusalReported)
        return;
    refusalReported = true;
    log::warning("Desktop control is off: ignoring the remote's desktop commands (the first: command %d)",
                 record.index);
}

void DesktopController::execute(const MessageRecord& record)
{
    const std::string_view argument = argumentText(record.text);
    const auto pair = [&] { return readPair(argument); };
    switch (record.index) {
    case kPressCommand:
        if (auto touch = pair())
            press(*touch);
        break;
    case kMoveCommand:
        if (auto touch = pair())
            move(*touch);
        break;
    case kReleaseCommand:
        release();
        break;
    case kListWindowsCommand:
        if (queue && record.value != 0.0f)
            listWindows();
        break;
    case kSelectWindowCommand:
        selectWindow(record.value);
        break;
    case kSetDesktopOriginCommand:
        setDesktopOrigin(argument);
        break;
    case kSetZoomCommand:
        setZoom(argument);
        break;
    case kSetPointerOffsetCommand:
        if (auto offset = pair())
            pointerOffset = {static_cast<float>(offset->first), static_cast<float>(offset->second)};
        break;
    case kFocusTargetCommand:
        focusTarget();
        break;
    case kSetCaptureLimitCommand:
        if (auto limit = pair())
            settings.setCaptureLimits(limit->first, limit->second);
        break;
    case kFullImageCommand:
    case kImageChangesCommand:
        requestImage(argument, record.index == kImageChangesCommand);
        break;
    case kListProcessesCommand:
        listProcesses();
        break;
    case kSelectProcessCommand:
        selectProcess(record.value);
        break;
    default:  // 5 and 6 included: nothing to do
        break;
    }
}

FloatPoint DesktopController::mapPoint(IntPair touch) const
{
    return PointMapping{scale, pointerOffset, settings.origin(), windowOrigin}.map(touch);
}

FloatPoint DesktopController::freshWindowOrigin()
{
    if (targetWindow == kNoWindow)
        return {};
    const auto rect = services.windowRect(targetWindow);
    if (!rect)
        return {};
    return {static_cast<float>(rect->left), static_cast<float>(rect->top)};
}

void DesktopController::press(IntPair touch)
{
    windowOrigin = freshWindowOrigin();
    inject(mapPoint(touch), MouseAction::press);
}

void DesktopController::move(IntPair touch)
{
    inject(mapPoint(touch), MouseAction::move);
}

void DesktopController::release()
{
    const FloatPoint at{static_cast<float>(lastPoint.x), static_cast<float>(lastPoint.y)};
    if (auto position = normalise(at, services.desktopArea()))
        services.injectMouse(position->x, position->y, MouseAction::release);
}

void DesktopController::inject(FloatPoint point, MouseAction action)
{
    lastPoint = {truncateToInt(point.x), truncateToInt(point.y)};
    if (auto position = normalise(point, services.desktopArea()))
        services.injectMouse(position->x, position->y, action);
}

void DesktopController::setDesktopOrigin(std::string_view argument)
{
    if (argument == "reset")
        settings.setOrigin({});
    else if (auto origin = readPair(argument))
        settings.setOrigin({origin->first, origin->second});
}

void DesktopController::setZoom(std::string_view argument)
{
    if (auto zoom = readDecimal(argument))
        scale = *zoom == 0.0f ? 1.0f : 1.0f / *zoom;
}

RemoteQueue& DesktopController::replies()
{
    static DroppingQueue nowhere;
    return queue ? *queue : nowhere;
}

void DesktopController::reply(std::int32_t index, std::string text)
{
    replies().send(MessageRecord::withText(kDesktopKind, index, std::move(text)));
}

void DesktopController::sendFocusedNoticeIfDue()
{
    if (!hidden)
        return;
    hidden = false;
    reply(kVisibilityReply, "focused");
}

void DesktopController::sendHiddenNoticeIfDue()
{
    if (hidden)
        return;
    hidden = true;
    reply(kVisibilityReply, "hidden");
}

void DesktopController::sendSizeNoticeIfDue(WindowHandle window, PixelSize size)
{
    if (size == lastReportedSize)
        return;
    lastReportedSize = size;
    reply(kWindowSizeReply, formatTriple(ids.idOf(window), size.width, size.height));
}

std::unique_ptr<DesktopCommands> makeDesktopController()
{
    return std::make_unique<DesktopController>(platformDesktopServices(), desktopSettings());
}

}  // namespace corvello
