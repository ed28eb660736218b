// The controller's command table, argument parsing, point mapping and
// notices, against a fake desktop and a queue that records.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "FakeDesktop.h"
#include "RecordingQueue.h"
#include "desktop/DesktopController.h"
#include "desktop/ImageRecords.h"
#include "platform/Log.h"

namespace corvello::test {
namespace {

MessageRecord command(std::int32_t index, std::string text = {}, float value = 0.0f)
{
    return {kDesktopKind, index, value, std::move(text), 0};
}

struct ControllerFixture : ::testing::Test {
    ControllerFixture() { controller.setHost(1, &queue); }
    ~ControllerFixture() override { settings.setOrigin({}); }

    // Adds a program's window and lists it as the remote would; its id.
    std::string show(WindowHandle handle, std::int32_t pid, WindowRect rect)
    {
        desktop.addProcess(pid, "Program" + std::to_string(pid));
        desktop.addWindow(handle, pid, rect);
        controller.receive(command(kListProcessesCommand));
        controller.receive(command(kSelectProcessCommand, {}, static_cast<float>(pid)));
        controller.receive(command(kListWindowsCommand, {}, 1.0f));
        const auto ids = listedWindowIds(queue);
        queue.records.clear();
        desktop.raised.clear();
        desktop.thumbnails.clear();
        return ids.empty() ? std::string("none") : std::to_string(ids.back());
    }

    FakeDesktop desktop;  // 1281 x 1025: normalising divides by 1280 and 1024
    DesktopSettings settings;
    RecordingQueue queue;
    DesktopController controller{desktop, settings};
};

// Expected event position for a desktop point on the fake's screen.
MouseEvent at(float x, float y, MouseAction action)
{
    return {static_cast<std::int32_t>(x * 65535.0f / 1280.0f), static_cast<std::int32_t>(y * 65535.0f / 1024.0f),
            action};
}

TEST(DesktopArguments, ReadsPairsLikeTheRemoteWritesThem)
{
    const std::string longest = "1," + std::string(126, '0');
    struct Case {
        std::string text;
        std::optional<IntPair> pair;
    } cases[] = {
        {"5,5", IntPair{5, 5}},
        {" -3, +4", IntPair{-3, 4}},
        {"12", std::nullopt},                          // no comma
        {longest, IntPair{1, 0}},                      // 128 characters
        {longest + "0", std::nullopt},                 // 129 characters
        {"abc,7", IntPair{0, 7}},                      // no digits read as zero
        {"99999999999,-99999999999", IntPair{std::numeric_limits<std::int32_t>::max(),
                                             std::numeric_limits<std::int32_t>::min()}},
        {"7,8,9", IntPair{7, 8}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readPair(c.text), c.pair) << c.text;
    EXPECT_EQ(argumentText(std::string("3,4\0garbage", 11)), "3,4");
}

TEST_F(ControllerFixture, MapsTouchPointsToTheDesktop)
{
    // Scale 2, pointer offset (10, 20), origin (0, 0), no target: 5,5 -> (0, 30).
    controller.receive(command(kSetZoomCommand, "0.5"));
    controller.receive(command(kSetPointerOffsetCommand, "10,20"));
    controller.receive(command(kMoveCommand, "5,5"));
    EXPECT_EQ(desktop.mouse.back(), at(0, 30, MouseAction::move));

    // The desktop origin is subtracted; the target window's corner added on a press.
    const std::string target = show(77, 5, {100, 50, 400, 350});
    controller.receive(command(kSelectWindowCommand, {}, std::stof(target)));
    controller.receive(command(kSetDesktopOriginCommand, "4,6"));
    controller.receive(command(kPressCommand, "5,5"));
    EXPECT_EQ(desktop.mouse.back(), at(0 - 4 + 100, 30 - 6 + 50, MouseAction::press));

    // A move keeps the corner read by the last press, even if the window moved since.
    desktop.windows.back().rect = {500, 500, 800, 800};
    controller.receive(command(kMoveCommand, "10,10"));
    EXPECT_EQ(desktop.mouse.back(), at(10 - 4 + 100, 40 - 6 + 50, MouseAction::move));

    // The release goes where the pointer was last put, truncated to whole pixels.
    controller.receive(command(kReleaseCommand));
    EXPECT_EQ(desktop.mouse.back(), at(106, 84, MouseAction::release));
}

TEST_F(ControllerFixture, ReleaseBeforeAnyPointIsAtTheOrigin)
{
    controller.receive(command(kReleaseCommand));
    EXPECT_EQ(desktop.mouse, (std::vector<MouseEvent>{{0, 0, MouseAction::release}}));
}

TEST_F(ControllerFixture, IgnoresArgumentsThatDoNotParse)
{
    controller.receive(command(kMoveCommand, "12"));
    controller.receive(command(kPressCommand, std::string(200, '1') + ",1"));
    controller.receive(command(kSetZoomCommand, "nan"));
    controller.receive(command(kSetZoomCommand, "1e99"));
    controller.receive(command(kSelectWindowCommand, {}, std::nanf("")));
    controller.receive(command(kSelectProcessCommand, {}, std::numeric_limits<float>::infinity()));
    controller.receive(command(99, "5,5"));
    controller.receive(command(-1));
    EXPECT_TRUE(desktop.mouse.empty());
    EXPECT_TRUE(queue.records.empty());

    // The zoom survived the bad values.
    controller.receive(command(kMoveCommand, "8,8"));
    EXPECT_EQ(desktop.mouse.back(), at(8, 8, MouseAction::move));
}

TEST_F(ControllerFixture, ZoomAndDesktopOrigin)
{
    struct Case {
        const char* zoom;
        float expectedX;
    } zooms[] = {{"0.5", 20}, {"0", 10}, {"4", 2.5f}, {"  2", 5}};
    for (const auto& c : zooms) {
        controller.receive(command(kSetZoomCommand, c.zoom));
        controller.receive(command(kMoveCommand, "10,0"));
        EXPECT_EQ(desktop.mouse.back(), at(c.expectedX, 0, MouseAction::move)) << c.zoom;
    }

    controller.receive(command(kSetDesktopOriginCommand, "30,40"));
    controller.receive(command(kSetDesktopOriginCommand, "12"));  // no comma: no change
    EXPECT_EQ(settings.origin(), (DesktopPoint{30, 40}));
    controller.receive(command(kSetDesktopOriginCommand, "reset"));
    EXPECT_EQ(settings.origin(), (DesktopPoint{0, 0}));
}

TEST_F(ControllerFixture, PointsBeyondTheScreenStopAtItsEdge)
{
    controller.receive(command(kSetZoomCommand, "0.0000001"));
    controller.receive(command(kMoveCommand, "2000000000,-2000000000"));
    controller.receive(command(kSetZoomCommand, "1"));
    controller.receive(command(kMoveCommand, "1281,-1"));
    EXPECT_EQ(desktop.mouse, (std::vector<MouseEvent>{{65535, 0, MouseAction::move}, {65535, 0, MouseAction::move}}));
}

// Several monitors: positions are normalised over the virtual desktop, whose
// corner lies left of and above the primary monitor's.
TEST_F(ControllerFixture, PointsAreNormalisedOverTheVirtualDesktop)
{
    desktop.area = WindowRect{-1920, -300, 1281, 1025};  // a 1920-wide monitor left of the primary, 300 higher
    const std::string left = show(40, 5, {-1900, -250, -1000, 400});
    controller.receive(command(kSelectWindowCommand, {}, std::stof(left)));
    controller.receive(command(kPressCommand, "20,50"));
    const float width = 1281 + 1920 - 1, height = 1025 + 300 - 1;
    EXPECT_EQ(desktop.mouse.back(),
              (MouseEvent{static_cast<std::int32_t>((-1880.0f + 1920.0f) * 65535.0f / width),
                          static_cast<std::int32_t>((-200.0f + 300.0f) * 65535.0f / height), MouseAction::press}));
    controller.receive(command(kMoveCommand, "1900,250"));  // onto the primary monitor's corner
    EXPECT_EQ(desktop.mouse.back(),
              (MouseEvent{static_cast<std::int32_t>(1920.0f * 65535.0f / width),
                          static_cast<std::int32_t>(300.0f * 65535.0f / height), MouseAction::move}));
}

TEST(DesktopControllerWithoutScreen, InjectsNothing)
{
    FakeDesktop desktop({0, 0});
    DesktopSettings settings;
    DesktopController controller(desktop, settings);
    controller.receive(command(kPressCommand, "1,1"));
    controller.receive(command(kReleaseCommand));
    EXPECT_TRUE(desktop.mouse.empty());
}

TEST_F(ControllerFixture, VisibilityNoticesAreSentOncePerChange)
{
    const std::string watched = show(10, 5, {0, 0, 100, 100});
    desktop.addWindow(20, 6, {0, 0, 100, 100});
    desktop.foreground = 20;  // another program is in front of window 10
    for (int i = 0; i < 3; ++i)
        controller.receive(command(kImageChangesCommand, watched));
    EXPECT_EQ(queue.texts(kVisibilityReply), (std::vector<std::string>{"hidden"}));
    EXPECT_EQ(queue.texts(kRawImageIndex).size(), 3u);  // one "no image" per request

    desktop.foreground = 10;
    controller.receive(command(kFullImageCommand, watched));
    controller.receive(command(kFullImageCommand, watched));
    EXPECT_EQ(queue.texts(kVisibilityReply), (std::vector<std::string>{"hidden", "focused"}));
}

TEST_F(ControllerFixture, WithoutAQueueNothingLeavesButFlagsStillChange)
{
    desktop.addWindow(10, 5, {0, 0, 100, 100});
    desktop.foreground = 0;
    controller.setHost(3, nullptr);
    controller.receive(command(kFullImageCommand, "10"));  // hidden, silently
    controller.setHost(3, &queue);
    controller.receive(command(kFullImageCommand, "10"));
    EXPECT_EQ(queue.texts(kVisibilityReply), std::vector<std::string>{});  // already marked hidden
    desktop.foreground = 10;
    controller.receive(command(kFocusTargetCommand));
    EXPECT_EQ(queue.texts(kVisibilityReply), (std::vector<std::string>{"focused"}));
}

TEST_F(ControllerFixture, WithDesktopControlOffEveryCommandIsIgnoredWithOneLinePerLink)
{
    const std::string window = show(10, 5, {0, 0, 100, 100});
    desktop.foreground = 10;
    std::vector<std::string> lines;
    log::setSink([&](log::Level, std::string_view line) { lines.emplace_back(line); });
    settings.allowControl(false);
    const auto everyCommand = [&] {
        for (std::int32_t index = -1; index <= 16; ++index) {
            const bool takesWindow = index == kFullImageCommand || index == kImageChangesCommand;
            controller.receive(command(index, takesWindow ? window : "5,5", index == kSelectProcessCommand ? 5.0f : 1.0f));
        }
    };
    everyCommand();
    everyCommand();
    controller.setHost(1, &queue);  // the next link selects its host
    everyCommand();
    settings.allowControl(true);
    log::setSink({});
    EXPECT_TRUE(desktop.mouse.empty());
    EXPECT_TRUE(desktop.captures.empty());
    EXPECT_TRUE(desktop.thumbnails.empty());
    EXPECT_TRUE(desktop.raised.empty());
    EXPECT_TRUE(queue.records.empty());
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(settings.origin(), (DesktopPoint{0, 0}));  // command 7 ignored too

    // Switched back on while connected, the same link works again.
    controller.receive(command(kMoveCommand, "5,5"));
    controller.receive(command(kFullImageCommand, window));
    EXPECT_EQ(desktop.mouse.size(), 1u);
    EXPECT_EQ(desktop.captures.size(), 1u);
}

TEST_F(ControllerFixture, CaptureLimitsAreProcessWideAndResetByANewController)
{
    controller.receive(command(kSetCaptureLimitCommand, "100,50"));
    EXPECT_EQ(settings.captureWidthLimit(), 100);
    EXPECT_EQ(settings.captureHeightLimit(), 50);
    DesktopController second(desktop, settings);
    EXPECT_EQ(settings.captureWidthLimit(), 819);
    EXPECT_EQ(settings.captureHeightLimit(), 609);
}

}  // namespace
}  // namespace corvello::test

namespace corvello::test {
namespace {

// Whatever the remote sends, the controller answers only with desktop
// records and never touches memory it does not own (run under ASan/UBSan).
TEST(DesktopControllerRobustness, SurvivesArbitraryRecords)
{
    FakeDesktop desktop({640, 480});
    desktop.addProcess(5, "Editor");
    desktop.addWindow(300, 5, {-50, -20, 200, 100});  // partly off the screen
    desktop.addWindow(301, 5, {600, 400, 900, 700});
    desktop.foreground = 300;
    DesktopSettings settings;
    RecordingQueue queue;
    DesktopController controller(desktop, settings);
    controller.setHost(1, &queue);

    std::uint32_t seed = 12345;
    const auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 16; };  // high bits: the low ones cycle
    const std::string pieces[] = {"300", "301", "-1", "0", "reset", "5,5", "100000,100000", "-9,-9", "2,3",
                                  "nan", "inf", "1e40", ",", "", std::string(200, '9'), std::string("3\0,4", 4)};
    const float values[] = {0.0f, 1.0f, 5.0f, -2.0f, 300.0f, 301.0f, std::nanf(""), 1e30f, -1e30f};
    for (int i = 0; i < 3000; ++i) {
        const auto index = static_cast<std::int32_t>(next() % 18) - 1;
        std::string text = pieces[next() % std::size(pieces)];
        if (next() % 4 == 0)
            text += pieces[next() % std::size(pieces)];
        controller.receive({kDesktopKind, index, values[next() % std::size(values)], text, 0});
    }
    for (const auto& record : queue.records)
        ASSERT_EQ(record.kind, kDesktopKind);
    EXPECT_EQ(queue.batchesBegun, queue.batchesEnded);
}

}  // namespace
}  // namespace corvello::test
