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

namespace corvello::test {
namespace {

std::string run(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        pclose(pipe);
    }
    return output;
}

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
    std::vector<std::uint8_t> pixels(200 * 100 * 4);
    ASSERT_TRUE(services.captureScreen(kWindowRect, pixels));
    EXPECT_EQ(pixelAt(pixels, {200, 100}, 10, 50), kLeftColour);
    EXPECT_EQ(pixelAt(pixels, {200, 100}, 190, 50), kRightColour);

    // Off the screen's edge the picture is black, not an error.
    const WindowRect edge{1000, 0, 1040, 10};
    std::vector<std::uint8_t> edgePixels(40 * 10 * 4, 0xFF);
    ASSERT_TRUE(services.captureScreen(edge, edgePixels));
    EXPECT_EQ(pixelAt(edgePixels, {40, 10}, 39, 0), 0u);

    std::vector<std::uint8_t> thumbnail(100 * 50 * 4);
    ASSERT_TRUE(services.captureThumbnail(window->handle(), {100, 50}, thumbnail));
    EXPECT_EQ(pixelAt(thumbnail, {100, 50}, 10, 25), kLeftColour);
    EXPECT_EQ(pixelAt(thumbnail, {100, 50}, 90, 25), kRightColour);
}

TEST_F(X11Fixture, MovesThePointerWhereTheRemoteAsks)
{
    controller.receive(MessageRecord::withText(kDesktopKind, kPressCommand, "300,200"));
    controller.receive(MessageRecord::withText(kDesktopKind, kMoveCommand, "310,220"));
    controller.receive(MessageRecord::withText(kDesktopKind, kReleaseCommand, ""));
    const std::string location = run("xdotool getmouselocation");
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
    EXPECT_EQ(queue.texts(kWindowListReply), std::vector<std::string>{std::to_string(window->handle()) + ",200,100"});
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
    const std::string root = std::to_string(services.desktopWindow());
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
    ASSERT_GT(services.screenSize().width, 0);
    window.reset();
    xvfb.stop();
    services.topLevelWindows();  // notices the loss
    EXPECT_TRUE(services.topLevelWindows().empty());
    EXPECT_EQ(services.screenSize(), (PixelSize{0, 0}));
    controller.receive(command(kListProcessesCommand, 0));
    EXPECT_EQ(queue.texts(kProcessListReply), std::vector<std::string>{"Desktop:-2"});
}

}  // namespace
}  // namespace corvello::test
