#pragma once
// The desktop controller: executes the remote's kind-210 commands (pointer
// as a touch pad, program and window lists, focus, window pictures) and
// answers with kind-210 records through the translator's queue. One exists
// per translator; both share the process-wide settings and image buffers.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/DesktopCommands.h"
#include "core/RemoteQueue.h"
#include "desktop/DesktopArguments.h"
#include "desktop/DesktopServices.h"
#include "desktop/DesktopSettings.h"
#include "desktop/ImageBuffers.h"
#include "desktop/Inventory.h"
#include "desktop/PointMapping.h"
#include "desktop/WindowIds.h"

namespace corvello {

// Command numbers (the record's index).
enum DesktopCommand : std::int32_t {
    kPressCommand = 0,
    kMoveCommand = 1,
    kReleaseCommand = 2,
    kListWindowsCommand = 3,
    kSelectWindowCommand = 4,
    kSetDesktopOriginCommand = 7,
    kSetZoomCommand = 8,
    kSetPointerOffsetCommand = 9,
    kFocusTargetCommand = 10,
    kSetCaptureLimitCommand = 11,
    kFullImageCommand = 12,
    kImageChangesCommand = 13,
    kListProcessesCommand = 14,
    kSelectProcessCommand = 15,
};

// Reply indexes besides the picture stream's.
enum DesktopReply : std::int32_t {
    kWindowListReply = 5,
    kVisibilityReply = 10,
    kProcessListReply = 16,
    kWindowSizeReply = 17,
    kDesktopReply = 18,
};

class DesktopController final : public DesktopCommands {
public:
    DesktopController(DesktopServices& services, DesktopSettings& settings);

    // While the settings forbid desktop control, every command is ignored
    // (nothing captured, nothing injected) with one line per host selection,
    // which the remote makes once per link.
    void receive(const MessageRecord& record) override;
    // The selector itself is not needed: no desktop command depends on the DAW.
    void setHost(std::int32_t hostSelector, RemoteQueue* queue) override;

private:
    struct Capture {
        PixelView picture;   // what was captured, within the capture limits
        PixelSize fullSize;  // the whole window
    };

    // Pointer and settings (DesktopController.cpp).
    void press(IntPair touch);
    void move(IntPair touch);
    void release();
    void inject(FloatPoint point, MouseAction action);
    FloatPoint mapPoint(IntPair touch) const;
    FloatPoint freshWindowOrigin();
    void setDesktopOrigin(std::string_view argument);
    void setZoom(std::string_view argument);

    // Replies and notices (DesktopController.cpp).
    RemoteQueue& replies();
    void reply(std::int32_t index, std::string text);
    void execute(const MessageRecord& record);
    void noteRefusedCommand(const MessageRecord& record);
    void sendFocusedNoticeIfDue();
    void sendHiddenNoticeIfDue();
    void sendSizeNoticeIfDue(WindowHandle window, PixelSize size);

    // Inventory and focus (DesktopInventory.cpp).
    void listProcesses();
    void selectProcess(float pid);
    void listWindows();
    void selectWindow(float id);
    void focusTarget();
    std::vector<WindowEntry> enumerateWindows();
    const ProcessEntry* processEntry(std::int32_t pid) const;
    bool isInFront(WindowHandle window);

    // Pictures (DesktopStreaming.cpp).
    void requestImage(std::string_view argument, bool changesOnly);
    // `rect` is the window's rectangle when the request has already read it.
    void sendFullImage(WindowHandle window, const std::optional<WindowRect>& rect, ImageBuffers& buffers);
    void sendImageChanges(WindowHandle window, const std::optional<WindowRect>& rect, ImageBuffers& buffers);
    std::optional<Capture> capture(WindowHandle window, const std::optional<WindowRect>& knownRect);
    void streamThumbnail(WindowHandle window, std::int32_t imageIndex);

    DesktopServices& services;
    DesktopSettings& settings;

    float scale = 1.0f;
    RemoteQueue* queue = nullptr;
    bool refusalReported = false;
    FloatPoint windowOrigin;
    FloatPoint pointerOffset;
    FloatPoint windowSize{800.0f, 600.0f};
    std::vector<ProcessEntry> processes;
    std::vector<WindowEntry> windows;
    bool hidden = false;
    DesktopPoint lastPoint;
    PixelSize lastReportedSize;
    WindowHandle targetWindow = kNoWindow;
    WindowHandle streamedWindow = kNoWindow;
    bool needFullFrame = false;
    std::int32_t selectedProcess = 0;
    // What the remote calls the windows it was told about (replies 5, 17, 18).
    WindowIds ids;
};

// What the start-up code calls once per translator: a controller on the
// platform's desktop and the process-wide settings.
std::unique_ptr<DesktopCommands> makeDesktopController();

}  // namespace corvello
