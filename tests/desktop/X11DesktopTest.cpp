// The X11 backend against a real X server: each test starts its own Xvfb
// (XvfbServer: spawned with -displayfd, stopped by PID) and draws a window
// of known colours through its own Xlib connection. The pointer position is
// checked independently with xdotool.

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "PictureDecoder.h"
#include "RecordingQueue.h"
#include "X11TestWindow.h"
#include "XvfbServer.h"
#include "desktop/BitmapFile.h"
#include "desktop/DesktopController.h"
#include "desktop/X11Capture.h"

namespace corvello::test {
namespace {

std::string programName()
{
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string full(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return full.substr(full.find_last_of('/') + 1);
}

std::uint32_t pixelAt(std::span<const std::uint8_t> pixels, PixelSize size, std::int32_t x, std::int32_t y)
{
    return loadLE32(&pixels[(std::size_t(y) * size.width + x) * 4]);
}

struct X11Fixture : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(xvfb.running()) << "Xvfb did not start";
        setenv("DISPLAY", xvfb.display.c_str(), 1);
        window.emplace(xvfb.display);
        ASSERT_TRUE(window->connection);
        controller.setHost(1, &queue);
    }
    void TearDown() override { window.reset(); }

    MessageRecord command(std::int32_t index, float value) { return MessageRecord::number(kDesktopKind, index, value); }

    // The id of the desktop, as the remote learns it (reply 18).
    std::string desktopId()
    {
        controller.receive(command(kListProcessesCommand, 0));
        controller.receive(command(kSelectProcessCommand, kDesktopPid));
        const auto notices = queue.texts(kDesktopReply);
        queue.records.clear();
        return notices.empty() ? "none" : notices.back().substr(0, notices.back().find(','));
    }

    XvfbServer xvfb;
    std::optional<TestWindow> window;
    DesktopServices& services = platformDesktopServices();
    DesktopSettings settings;
    RecordingQueue queue;
    DesktopController controller{services, settings};
};

TEST_F(X11Fixture, CapturesTheWindowAsShown)
{
    ASSERT_EQ(services.windowRect(window->handle()).value_or(WindowRect{}).left, kWindowRect.left);
    const auto picture = services.captureWindow(window->handle(), kWindowRect);
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->size, (PixelSize{200, 100}));
    EXPECT_EQ(picture->row(50)[10] & 0x00FFFFFF, kLeftColour);
    EXPECT_EQ(picture->row(50)[190] & 0x00FFFFFF, kRightColour);

    // Off the screen's edge the picture is black, not an error.
    const auto edge = services.captureWindow(window->handle(), {1000, 0, 1040, 10});
    ASSERT_TRUE(edge);
    EXPECT_EQ(edge->row(0)[39], 0u);

    std::vector<std::uint8_t> thumbnail(100 * 50 * 4);
    ASSERT_TRUE(services.captureThumbnail(window->handle(), {100, 50}, thumbnail));
    EXPECT_EQ(pixelAt(thumbnail, {100, 50}, 10, 25), kLeftColour);
    EXPECT_EQ(pixelAt(thumbnail, {100, 50}, 90, 25), kRightColour);
}

// Shared memory where the server offers it, XGetImage where it does not:
// the same pixels either way, partly off the screen included.
TEST(X11Capture, ReadsTheScreenWithOrWithoutSharedMemory)
{
    for (const bool shared : {true, false}) {
        XvfbServer xvfb(shared ? std::vector<std::string>{} : std::vector<std::string>{"-extension", "MIT-SHM"});
        ASSERT_TRUE(xvfb.running());
        setenv("DISPLAY", xvfb.display.c_str(), 1);
        TestWindow window(xvfb.display);
        X11Display display;
        X11Capture capture;
        for (const WindowRect& area : {kWindowRect, WindowRect{kWindowRect.left - 300, kWindowRect.top, 220, 140}}) {
            const auto picture = capture.capture(display, area);
            ASSERT_TRUE(picture) << shared;
            EXPECT_EQ(capture.usedSharedMemory(), shared);
            const std::int32_t x0 = kWindowRect.left - area.left, y0 = kWindowRect.top - area.top;
            EXPECT_EQ(picture->row(y0 + 50)[x0 + 10] & 0x00FFFFFF, kLeftColour) << shared;
            EXPECT_EQ(picture->row(y0 + 50)[x0 + 90] & 0x00FFFFFF, kLeftColour) << shared;
            if (area.left < 0) {
                EXPECT_EQ(picture->row(y0 + 50)[0], 0u) << "off the screen is black";
            } else {
                EXPECT_EQ(picture->row(y0 + 50)[x0 + 190] & 0x00FFFFFF, kRightColour) << shared;
            }
        }
        // A picture larger than the last reuses nothing stale.
        const auto whole = capture.capture(display, {0, 0, 1024, 768});
        ASSERT_TRUE(whole);
        EXPECT_EQ(whole->row(kWindowRect.top + 5)[kWindowRect.right - 5] & 0x00FFFFFF, kRightColour);
    }
}

TEST_F(X11Fixture, MovesThePointerWhereTheRemoteAsks)
{
    controller.receive(MessageRecord::withText(kDesktopKind, kPressCommand, "300,200"));
    controller.receive(MessageRecord::withText(kDesktopKind, kMoveCommand, "310,220"));
    controller.receive(MessageRecord::withText(kDesktopKind, kReleaseCommand, ""));
    const std::string location = commandOutput("xdotool getmouselocation");
    EXPECT_EQ(location.substr(0, location.find(" screen")), "x:310 y:220") << location;
}

TEST_F(X11Fixture, ListsThisProgramAndItsWindow)
{
    controller.receive(command(kListProcessesCommand, 0));
    const std::string line = programName() + ":" + std::to_string(getpid());
    ASSERT_EQ(queue.texts(kProcessListReply).size(), 1u);
    EXPECT_NE(queue.texts(kProcessListReply)[0].find(line), std::string::npos) << queue.texts(kProcessListReply)[0];

    controller.receive(command(kSelectProcessCommand, static_cast<float>(getpid())));
    controller.receive(command(kListWindowsCommand, 1));
    EXPECT_EQ(queue.texts(kWindowListReply), std::vector<std::string>{"1,200,100"});
    PictureDecoder decoder;
    decoder.feed(queue.records);
    const Picture& thumbnail = decoder.images.at(0);
    EXPECT_EQ(thumbnail.size, (PixelSize{150, 75}));
    EXPECT_EQ(thumbnail.at(10, 40), kLeftColour);
    EXPECT_EQ(thumbnail.at(140, 40), kRightColour);
}

TEST_F(X11Fixture, AProgramWhoseOnlyWindowIsMinimizedIsNotListed)
{
    const Atom wmState = XInternAtom(window->connection, "WM_STATE", False);
    const long iconic[2] = {3, 0};
    XChangeProperty(window->connection, window->window, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(iconic), 2);
    XSync(window->connection, False);
    for (const ShownProcess& process : services.shownProcesses())
        EXPECT_NE(process.pid, getpid());
    services.bringToFront(window->handle());  // restoring maps it again, nothing more
}

TEST_F(X11Fixture, StreamsAWindowThatChanges)
{
    // Without a window manager nothing is active; the whole desktop is always in front.
    const std::string root = desktopId();
    controller.receive(command(kSetCaptureLimitCommand, 0));  // no pair: ignored
    controller.receive(MessageRecord::withText(kDesktopKind, kFullImageCommand, root));
    PictureDecoder decoder;
    decoder.feed(queue.records);
    ASSERT_EQ(decoder.images.at(kWatchedImage).size, (PixelSize{819, 609}));
    EXPECT_EQ(decoder.images.at(kWatchedImage).at(kWindowRect.left + 5, kWindowRect.top + 5), kLeftColour);

    window->paintRight(0x00FFFF00, 20);
    queue.records.clear();
    controller.receive(MessageRecord::withText(kDesktopKind, kImageChangesCommand, root));
    decoder.feed(queue.records);
    EXPECT_EQ(decoder.frameEnds, std::vector<std::int32_t>{-1});
    EXPECT_EQ(decoder.tilesApplied, 2);  // the changed strip spans two tiles
    const Picture& picture = decoder.images.at(kWatchedImage);
    EXPECT_EQ(picture.at(kWindowRect.right - 5, kWindowRect.top + 5), 0x00FFFF00u);
    EXPECT_EQ(picture.at(kWindowRect.right - 5, kWindowRect.top + 50), kRightColour);
}

// X11 ids of the ninth client on exceed 2^24: command 4's float cannot carry
// them, the remote's ids can.
TEST_F(X11Fixture, SelectsAndWatchesAWindowWhoseIdAFloatCannotHold)
{
    std::vector<Display*> others;
    for (int i = 0; i < 8; ++i)
        others.push_back(XOpenDisplay(xvfb.display.c_str()));
    TestWindow late(xvfb.display);
    for (Display* other : others)
        if (other)
            XCloseDisplay(other);
    ASSERT_TRUE(late.connection);
    const auto handle = static_cast<std::uint32_t>(late.window);
    ASSERT_GT(handle, 1u << 24);
    ASSERT_NE(static_cast<std::uint32_t>(static_cast<float>(handle)), handle);

    controller.receive(command(kListProcessesCommand, 0));
    controller.receive(command(kSelectProcessCommand, static_cast<float>(getpid())));
    controller.receive(command(kListWindowsCommand, 1));
    const auto ids = listedWindowIds(queue);
    ASSERT_EQ(ids.size(), 2u);  // the fixture's window, then the late one
    controller.receive(command(kSelectWindowCommand, static_cast<float>(ids[1])));
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(late.connection, &focus, &revert);
    EXPECT_EQ(focus, late.window);

    late.paintRight(kRightColour);  // raised over the other window, it lost what it drew (no backing store)
    queue.records.clear();
    controller.receive(MessageRecord::withText(kDesktopKind, kFullImageCommand, std::to_string(ids[1])));
    PictureDecoder decoder;
    decoder.feed(queue.records);
    ASSERT_EQ(decoder.images.count(kWatchedImage), 1u);
    EXPECT_EQ(decoder.images.at(kWatchedImage).at(150, 50), kRightColour);
    EXPECT_EQ(queue.texts(kWindowSizeReply), std::vector<std::string>{std::to_string(ids[1]) + ",200,100"});
}

TEST_F(X11Fixture, RefusesHandlesThatAreNotTopLevelWindows)
{
    Window child = XCreateSimpleWindow(window->connection, window->window, 0, 0, 10, 10, 0, 0, 0);
    XSync(window->connection, False);
    for (WindowHandle bogus : {static_cast<WindowHandle>(child), 0x7FFFFFF0, -1, 0}) {
        EXPECT_FALSE(services.windowRect(bogus)) << bogus;
        EXPECT_EQ(services.windowProcess(bogus), 0) << bogus;
        services.bringToFront(bogus);
    }
    controller.receive(MessageRecord::withText(kDesktopKind, kFullImageCommand, "2147483632"));
    ASSERT_EQ(queue.records.size(), 2u);  // no image, then the hidden notice
    EXPECT_EQ(queue.records[1].text, "hidden");
}

TEST_F(X11Fixture, LosingTheServerLeavesADesktopWithNoWindows)
{
    ASSERT_GT(services.desktopArea().width(), 0);
    window.reset();
    xvfb.stop();
    services.topLevelWindows();  // notices the loss
    EXPECT_TRUE(services.topLevelWindows().empty());
    EXPECT_EQ(services.desktopArea().width(), 0);
    controller.receive(command(kListProcessesCommand, 0));
    EXPECT_EQ(queue.texts(kProcessListReply), std::vector<std::string>{"Desktop:-2"});
}

}  // namespace
}  // namespace corvello::test
