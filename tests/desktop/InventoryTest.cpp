// Program and window lists, choosing a program or a window, against a fake
// desktop.

#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "PictureDecoder.h"
#include "RecordingQueue.h"
#include "desktop/DesktopController.h"

namespace corvello::test {
namespace {

MessageRecord command(std::int32_t index, float value = 0.0f)
{
    return {kDesktopKind, index, value, {}, 0};
}

struct InventoryFixture : ::testing::Test {
    InventoryFixture() { controller.setHost(1, &queue); }

    void selectProgram(std::int32_t pid, const char* name = "Editor")
    {
        desktop.addProcess(pid, name);
        controller.receive(command(kListProcessesCommand));
        controller.receive(command(kSelectProcessCommand, static_cast<float>(pid)));
        queue.records.clear();
    }

    FakeDesktop desktop;
    DesktopSettings settings;
    RecordingQueue queue;
    DesktopController controller{desktop, settings};
};

TEST(ProcessNames, CutTheExecutableSuffix)
{
    struct Case {
        const char* module;
        const char* shown;
    } cases[] = {{"APP.EXE", "APP"}, {"Setup.exe.config", "Setup"}, {"notepad.exe", "notepad"},
                 {"a.EXE.exe", "a"}, {"firefox-esr", "firefox-esr"}, {".exe", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(displayName(c.module), c.shown) << c.module;
    EXPECT_EQ(displayName(std::string(300, 'x')).size(), kMaxProcessNameLength);
}

TEST_F(InventoryFixture, ListsProgramsByNameThenPid)
{
    desktop.addProcess(7, "Editor.exe");
    desktop.addProcess(3, "editor");
    desktop.addProcess(12, "APP.EXE");
    desktop.addProcess(12, "APP.EXE");  // one program seen twice
    desktop.addProcess(40, "Setup.exe.config");
    controller.receive(command(kListProcessesCommand));
    EXPECT_EQ(queue.texts(kProcessListReply),
              std::vector<std::string>{"APP:12\nDesktop:-2\neditor:3\nEditor:7\nSetup:40"});
}

TEST_F(InventoryFixture, SelectingTheDesktopAnswersWithItsSize)
{
    controller.receive(command(kSelectProcessCommand, -2.0f));
    EXPECT_TRUE(queue.records.empty());  // no process list yet: -2 is not listed

    desktop.addProcess(9, "Editor");
    controller.receive(command(kListProcessesCommand));
    queue.records.clear();
    controller.receive(command(kSelectProcessCommand, -2.0f));
    controller.receive(command(kSelectProcessCommand, 9.0f));
    EXPECT_EQ(queue.texts(kDesktopReply), std::vector<std::string>{"1,1281,1025"});
    EXPECT_EQ(queue.records.size(), 1u);
}

TEST_F(InventoryFixture, OffersOnlyTheProgramsWindowsThatCanBeShown)
{
    selectProgram(5);
    desktop.addWindow(300, 5, {0, 0, 30, 30});                       // smallest offered
    desktop.addWindow(301, 5, {0, 0, 29, 200});                      // too narrow
    desktop.addWindow(302, 5, {0, 0, 200, 29});                      // too low
    desktop.addWindow(303, 6, {0, 0, 200, 200});                     // another program
    desktop.addWindow(304, 5, {0, 0, 200, 200}).info.visible = false;
    desktop.addWindow(305, 5, {0, 0, 200, 200}).info.minimized = true;
    desktop.addWindow(306, 5, {0, 0, 200, 200}).info.inputTransparentOverlay = true;
    desktop.addWindow(307, 5, {0, 0, 200, 200}).info.popup = true;   // only the shell's are hidden
    desktop.addWindow(200, 5, {10, 10, 110, 60});
    controller.receive(command(kListWindowsCommand, 1.0f));
    EXPECT_EQ(queue.texts(kWindowListReply), std::vector<std::string>{"200,100,50\n300,30,30\n307,200,200"});
}

TEST_F(InventoryFixture, HidesTheShellsPopups)
{
    selectProgram(5, "explorer");
    desktop.addWindow(300, 5, {0, 0, 200, 200}).info.popup = true;
    desktop.addWindow(301, 5, {0, 0, 200, 200});
    controller.receive(command(kListWindowsCommand, 1.0f));
    EXPECT_EQ(queue.texts(kWindowListReply), std::vector<std::string>{"301,200,200"});
}

TEST_F(InventoryFixture, ListsTwentyWindowsEachWithItsThumbnail)
{
    selectProgram(5);
    for (WindowHandle h = 121; h > 100; --h)  // 21 windows, enumerated in reverse
        desktop.addWindow(h, 5, {0, 0, 300, 100});
    controller.receive(command(kListWindowsCommand, 1.0f));

    const auto listing = queue.texts(kWindowListReply);
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_EQ(std::count(listing[0].begin(), listing[0].end(), '\n'), 19);
    EXPECT_EQ(listing[0].substr(0, 11), "101,300,100");
    EXPECT_EQ(listing[0].find("121,"), std::string::npos);

    // Each window comes forward, gets time to repaint, then its thumbnail follows.
    EXPECT_EQ(desktop.raised.size(), 20u);
    EXPECT_EQ(desktop.raised.front(), 101);
    EXPECT_EQ(std::count(desktop.waits.begin(), desktop.waits.end(), 150), 20);
    EXPECT_EQ(desktop.waits.back(), 100);
    PictureDecoder decoder;
    decoder.feed(queue.records);
    ASSERT_EQ(decoder.images.size(), 20u);
    EXPECT_EQ(decoder.images.begin()->first, 0);
    EXPECT_EQ(decoder.images.rbegin()->first, 19);
    EXPECT_EQ(decoder.images[0].size, (PixelSize{150, 50}));
    EXPECT_EQ(queue.records.back().index, kWindowListReply);  // the list comes after its pictures
}

TEST_F(InventoryFixture, ALoneWindowIsBroughtForwardFirst)
{
    selectProgram(5);
    desktop.addWindow(300, 5, {0, 0, 200, 200});
    desktop.addWindow(301, 6, {0, 0, 200, 200});
    desktop.foreground = 301;
    controller.receive(MessageRecord::withText(kDesktopKind, kFullImageCommand, "300"));  // hidden
    queue.records.clear();

    controller.receive(command(kListWindowsCommand, 1.0f));
    EXPECT_EQ(queue.records.front().text, "focused");
    EXPECT_EQ(desktop.waits.front(), 200);
    EXPECT_EQ(desktop.raised, (std::vector<WindowHandle>{300, 300}));
}

TEST_F(InventoryFixture, ListingNeedsAQueueAndANonZeroValue)
{
    selectProgram(5);
    desktop.addWindow(300, 5, {0, 0, 200, 200});
    controller.receive(command(kListWindowsCommand, 0.0f));
    controller.setHost(1, nullptr);
    controller.receive(command(kListWindowsCommand, 1.0f));
    EXPECT_TRUE(desktop.raised.empty());
    EXPECT_TRUE(queue.records.empty());
}

TEST_F(InventoryFixture, SelectingAWindowChecksTheHandle)
{
    desktop.addWindow(300, 5, {0, 0, 200, 200});
    controller.receive(command(kSelectWindowCommand, 999.0f));
    controller.receive(command(kFocusTargetCommand));  // no target yet
    EXPECT_TRUE(desktop.raised.empty());

    controller.receive(command(kSelectWindowCommand, 300.0f));
    controller.receive(command(kFocusTargetCommand));
    EXPECT_EQ(desktop.raised, (std::vector<WindowHandle>{300, 300}));
}

}  // namespace
}  // namespace corvello::test
