// The Win32 backend against a real window manager: under Wine with an X
// display (CI runs this under xvfb-run), a window of known colours created
// by the test itself.

#include <gtest/gtest.h>
#include <windows.h>

#include "PictureDecoder.h"
#include "RecordingQueue.h"
#include "desktop/DesktopController.h"
#include "desktop/LittleEndian.h"

namespace corvello::test {
namespace {

constexpr COLORREF kLeftColour = RGB(0xC0, 0x30, 0x10);   // pixel 0x00C03010
constexpr COLORREF kRightColour = RGB(0x20, 0xA0, 0xF0);  // pixel 0x0020A0F0
constexpr WindowRect kWindowRect{120, 80, 320, 180};       // 200 x 100, no frame

void drawHalves(HDC dc)
{
    const RECT left{0, 0, 100, 100}, right{100, 0, 200, 100};
    HBRUSH leftBrush = CreateSolidBrush(kLeftColour), rightBrush = CreateSolidBrush(kRightColour);
    FillRect(dc, &left, leftBrush);
    FillRect(dc, &right, rightBrush);
    DeleteObject(leftBrush);
    DeleteObject(rightBrush);
}

// Paints on screen and, like well-behaved windows, into the DC that
// PrintWindow hands over (which is what Wine's PrintWindow asks for).
LRESULT CALLBACK paintHalves(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PRINTCLIENT) {
        drawHalves(reinterpret_cast<HDC>(wParam));
        return 0;
    }
    if (message != WM_PAINT)
        return DefWindowProcA(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    drawHalves(dc);
    EndPaint(window, &paint);
    return 0;
}

void pumpMessages(DWORD forMs)
{
    const DWORD until = GetTickCount() + forMs;
    MSG message;
    while (GetTickCount() < until) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
}

std::uint32_t pixelAt(std::span<const std::uint8_t> pixels, PixelSize size, std::int32_t x, std::int32_t y)
{
    return loadLE32(&pixels[(std::size_t(y) * size.width + x) * 4]);
}

std::string programName()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    name = name.substr(name.find_last_of('\\') + 1);
    return name.substr(0, name.find(".exe"));
}

struct Win32Fixture : ::testing::Test {
    void SetUp() override
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = paintHalves;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "CorvelloDesktopTestWindow";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, "test picture", WS_POPUP | WS_VISIBLE,
                                 kWindowRect.left, kWindowRect.top, kWindowRect.width(), kWindowRect.height(),
                                 nullptr, nullptr, windowClass.hInstance, nullptr);
        ASSERT_TRUE(window);
        SetForegroundWindow(window);
        UpdateWindow(window);
        pumpMessages(300);
        controller.setHost(1, &queue);
    }
    void TearDown() override { DestroyWindow(window); }

    WindowHandle handle() const { return fromHandle(window); }

    // The window's id, from this program's window list.
    std::string listedId()
    {
        controller.receive(MessageRecord::number(kDesktopKind, kListProcessesCommand, 0));
        controller.receive(MessageRecord::number(kDesktopKind, kSelectProcessCommand,
                                                 static_cast<float>(GetCurrentProcessId())));
        controller.receive(MessageRecord::number(kDesktopKind, kListWindowsCommand, 1));
        const auto lists = queue.texts(kWindowListReply);
        queue.records.clear();
        const std::string text = lists.empty() ? "" : "\n" + lists.back();
        const auto line = text.find(",200,100");  // the fixture's window among any others
        return line == std::string::npos ? "none" : text.substr(text.rfind('\n', line) + 1, line - text.rfind('\n', line) - 1);
    }
    static WindowHandle fromHandle(HWND h) { return static_cast<WindowHandle>(reinterpret_cast<std::intptr_t>(h)); }

    HWND window = nullptr;
    DesktopServices& services = platformDesktopServices();
    DesktopSettings settings;
    RecordingQueue queue;
    DesktopController controller{services, settings};
};

TEST_F(Win32Fixture, CapturesTheWindowAsShown)
{
    const auto rect = services.windowRect(handle());
    ASSERT_TRUE(rect);
    EXPECT_EQ((std::vector{rect->left, rect->top, rect->width(), rect->height()}), (std::vector{120, 80, 200, 100}));

    const auto picture = services.captureWindow(handle(), kWindowRect);
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->size, (PixelSize{200, 100}));
    EXPECT_EQ(picture->row(50)[10] & 0x00FFFFFF, 0x00C03010u);
    EXPECT_EQ(picture->row(50)[190] & 0x00FFFFFF, 0x0020A0F0u);

    // The desktop, and a picture moved by the desktop origin, come from the screen.
    const auto screen = services.captureWindow(services.desktopWindow(), {kWindowRect.left - 10, kWindowRect.top,
                                                                          kWindowRect.right, kWindowRect.bottom});
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->row(50)[20] & 0x00FFFFFF, 0x00C03010u);

    std::vector<std::uint8_t> thumbnail(100 * 50 * 4);
    ASSERT_TRUE(services.captureThumbnail(handle(), {100, 50}, thumbnail));
    EXPECT_EQ(pixelAt(thumbnail, {100, 50}, 10, 25), 0x00C03010u);
    EXPECT_EQ(pixelAt(thumbnail, {100, 50}, 90, 25), 0x0020A0F0u);
}

TEST_F(Win32Fixture, StreamsTheWindowThroughTheController)
{
    const std::string id = listedId();
    controller.receive(MessageRecord::number(kDesktopKind, kSelectWindowCommand, std::stof(id)));
    controller.receive(MessageRecord::withText(kDesktopKind, kFullImageCommand, id));
    PictureDecoder decoder;
    decoder.feed(queue.records);
    ASSERT_EQ(decoder.images.count(kWatchedImage), 1u);
    const Picture& picture = decoder.images.at(kWatchedImage);
    EXPECT_EQ(picture.size, (PixelSize{200, 100}));
    EXPECT_EQ(picture.at(10, 10), 0x00C03010u);
    EXPECT_EQ(picture.at(150, 90), 0x0020A0F0u);
    EXPECT_EQ(queue.texts(kWindowSizeReply), std::vector<std::string>{id + ",200,100"});
}

TEST_F(Win32Fixture, ListsThisProgramAndItsWindow)
{
    controller.receive(MessageRecord::number(kDesktopKind, kListProcessesCommand, 0));
    const std::string line = programName() + ":" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(queue.texts(kProcessListReply).size(), 1u);
    EXPECT_NE(queue.texts(kProcessListReply)[0].find(line), std::string::npos) << queue.texts(kProcessListReply)[0];

    controller.receive(MessageRecord::number(kDesktopKind, kSelectProcessCommand, static_cast<float>(GetCurrentProcessId())));
    controller.receive(MessageRecord::number(kDesktopKind, kListWindowsCommand, 1));
    const auto listing = queue.texts(kWindowListReply);
    ASSERT_EQ(listing.size(), 1u);
    EXPECT_NE(listing[0].find(",200,100"), std::string::npos) << listing[0];
    EXPECT_EQ(listing[0].find(std::to_string(handle()) + ","), std::string::npos) << "handles stay inside";
}

TEST_F(Win32Fixture, MovesThePointerWhereTheRemoteAsks)
{
    controller.receive(MessageRecord::withText(kDesktopKind, kMoveCommand, "300,200"));
    POINT cursor{};
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_NEAR(cursor.x, 300, 1);
    EXPECT_NEAR(cursor.y, 200, 1);
}

TEST_F(Win32Fixture, BringingAMinimizedWindowForwardRestoresIt)
{
    ShowWindow(window, SW_MINIMIZE);
    pumpMessages(100);
    ASSERT_TRUE(IsIconic(window));
    for (const ShownProcess& process : services.shownProcesses())
        EXPECT_NE(static_cast<DWORD>(process.pid), GetCurrentProcessId()) << "its only window is minimized";
    services.bringToFront(handle());
    pumpMessages(200);
    EXPECT_FALSE(IsIconic(window));
}

TEST_F(Win32Fixture, RefusesHandlesThatAreNotWindows)
{
    for (WindowHandle bogus : {0x7FFFFFF0, -1, 0, 12345}) {
        EXPECT_FALSE(services.windowRect(bogus)) << bogus;
        EXPECT_EQ(services.windowProcess(bogus), 0) << bogus;
        services.bringToFront(bogus);
    }
    controller.receive(MessageRecord::withText(kDesktopKind, kFullImageCommand, "2147483632"));
    ASSERT_EQ(queue.records.size(), 2u);  // no image, then the hidden notice
    EXPECT_EQ(queue.records[1].text, "hidden");
}

}  // namespace
}  // namespace corvello::test
