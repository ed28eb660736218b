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
    EXPECT_EQ(queue.texts(kWindowListReply), std::vector<std::string>{"1,100,50\n2,30,30\n3,200,200"});
}

TEST_F(InventoryFixture, HidesTheShellsPopups)
{
    selectProgram(5, "explorer");
    desktop.addWindow(300, 5, {0, 0, 200, 200}).info.popup = true;
    desktop.addWindow(301, 5, {0, 0, 200, 200});
    controller.receive(command(kListWindowsCommand, 1.0f));
    EXPECT_EQ(queue.texts(kWindowListReply), std::vector<std::string>{"1,200,200"});
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
    EXPECT_EQ(listing[0].substr(0, 9), "1,300,100");
    EXPECT_EQ(listedWindowIds(queue).back(), 20);

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

TEST_F(InventoryFixture, TheRemoteSelectsWindowsByTheIdsItWasGiven)
{
    // Handles past 2^24 do not survive the trip through command 4's float.
    constexpr WindowHandle kFirst = 0x3000001, kSecond = 0x3000003;
    selectProgram(5);
    desktop.addWindow(kSecond, 5, {0, 0, 200, 200});
    desktop.addWindow(kFirst, 5, {0, 0, 300, 200});
    controller.receive(command(kListWindowsCommand, 1.0f));
    EXPECT_EQ(queue.texts(kWindowListReply), std::vector<std::string>{"1,300,200\n2,200,200"});
    desktop.raised.clear();

    for (float unknown : {static_cast<float>(kSecond), 999.0f, 3.0f})
        controller.receive(command(kSelectWindowCommand, unknown));
    controller.receive(command(kFocusTargetCommand));  // no target yet
    EXPECT_TRUE(desktop.raised.empty());

    controller.receive(command(kSelectWindowCommand, 2.0f));
    controller.receive(command(kFocusTargetCommand));
    EXPECT_EQ(desktop.raised, (std::vector<WindowHandle>{kSecond, kSecond}));

    // A new list keeps the ids of windows still there; a gone window's id names nothing.
    desktop.windows.erase(desktop.windows.begin());
    desktop.addWindow(0x3000002, 5, {0, 0, 100, 100});
    queue.records.clear();
    controller.receive(command(kListWindowsCommand, 1.0f));
    EXPECT_EQ(queue.texts(kWindowListReply), std::vector<std::string>{"1,300,200\n3,100,100"});
    desktop.raised.clear();
    controller.receive(command(kSelectWindowCommand, 2.0f));
    controller.receive(command(kFocusTargetCommand));  // still the target selected before
    EXPECT_EQ(desktop.raised, (std::vector<WindowHandle>{kSecond}));
}

TEST(WindowIdTable, HandsOutSmallStableIdsAndNeverReusesOneForAnotherWindow)
{
    WindowIds ids;
    const std::vector<WindowHandle> first{0x7000001, 0x7000002, 0x7000003};
    ids.renew(first, {kNoWindow});
    for (WindowId id = 1; id <= 3; ++id)
        EXPECT_EQ(ids.handleOf(id), first[id - 1]) << id;

    // Renewed: 0x7000002 stays listed, 0x7000003 stays in use, 0x7000001 goes.
    const std::vector<WindowHandle> second{0x7000004, 0x7000002};
    ids.renew(second, {0x7000003, 0});
    struct Case {
        WindowId id;
        WindowHandle handle;
    } cases[] = {{1, kNoWindow}, {2, 0x7000002}, {3, 0x7000003}, {4, 0x7000004}, {5, kNoWindow},
                 {0, 0},         {-1, kNoWindow}, {-7, kNoWindow}, {WindowIds::kIdLimit, kNoWindow}};
    for (const auto& c : cases)
        EXPECT_EQ(ids.handleOf(c.id), c.handle) << c.id;

    // A handle told about outside a list (the desktop) gets the next fresh id.
    EXPECT_EQ(ids.idOf(0x7000001), 5);
    EXPECT_EQ(ids.idOf(0x7000001), 5);
    EXPECT_EQ(ids.idOf(0), 0);
    EXPECT_EQ(ids.idOf(kNoWindow), kNoWindow);
}

}  // namespace
}  // namespace corvello::test
