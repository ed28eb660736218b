// Corvello.exe as a user meets it: started for real (under Wine with an X
// display in CI), its tray icon is registered with the shell, a right click
// opens a menu holding "E&xit", and choosing it ends the program with code 0.

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr UINT kTrayCallbackMessage = WM_APP + 1;
constexpr UINT kTrayIconId = 1;

std::string windowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;  // Wine maps the Unix root to Z:
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

template <typename Probe>
auto poll(Probe probe, DWORD timeoutMs)
{
    for (DWORD waited = 0;; waited += 50) {
        if (auto result = probe(); result || waited >= timeoutMs)
            return result;
        Sleep(50);
    }
}

// The shell answers a modification only for an icon it holds.
bool trayIconPresent(HWND owner)
{
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = kTrayIconId;
    data.uFlags = NIF_TIP;
    lstrcpynA(data.szTip, "Corvello", sizeof data.szTip);
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

struct RunningCorvello {
    RunningCorvello()
    {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string command = "\"" + windowsPath(CORVELLO_EXE) + "\"";
        started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process);
    }
    ~RunningCorvello()
    {
        if (!started)
            return;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    BOOL started = FALSE;
    PROCESS_INFORMATION process{};
};

// Menu handles do not cross processes, so the menu's content is read where
// the program loads it from: its own resources.
TEST(TrayProgram, MenuResourceHoldsOnlyExit)
{
    HMODULE program = LoadLibraryExA(windowsPath(CORVELLO_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HMENU menu = LoadMenuA(program, MAKEINTRESOURCEA(111));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetMenuItemCount(popup), 1);
    char text[32] = {};
    GetMenuStringA(popup, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "E&xit");
    EXPECT_EQ(GetMenuItemID(popup, 0), 105u);
    DestroyMenu(menu);
    FreeLibrary(program);
}

TEST(TrayProgram, RightClickMenuHoldsExitAndChoosingItEndsTheProgramWithCodeZero)
{
    RunningCorvello corvello;
    ASSERT_TRUE(corvello.started) << GetLastError();

    HWND window = poll([] { return FindWindowA("Corvello", "Corvello"); }, 20000);
    ASSERT_NE(window, nullptr) << "the hidden window never appeared";
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(poll([&] { return trayIconPresent(window); }, 5000)) << "no tray icon";

    // A left click opens nothing.
    PostMessageA(window, kTrayCallbackMessage, MAKEWPARAM(100, 100), MAKELPARAM(WM_LBUTTONUP, kTrayIconId));
    Sleep(300);
    EXPECT_EQ(FindWindowA("#32768", nullptr), nullptr);

    // The shell's right-click notification (version 4: the event in lParam,
    // the anchor in wParam) opens the menu.
    PostMessageA(window, kTrayCallbackMessage, MAKEWPARAM(100, 100), MAKELPARAM(WM_CONTEXTMENU, kTrayIconId));
    HWND menuWindow = poll([] { return FindWindowA("#32768", nullptr); }, 5000);
    ASSERT_NE(menuWindow, nullptr) << "the tray menu did not open";

    // Its mnemonic chooses it, as a keyboard user would.
    PostMessageA(menuWindow, WM_CHAR, 'x', 0);
    ASSERT_EQ(WaitForSingleObject(corvello.process.hProcess, 15000), WAIT_OBJECT_0) << "did not exit";
    DWORD exitCode = 1;
    GetExitCodeProcess(corvello.process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(trayIconPresent(window)) << "the icon outlived the program";
}

}  // namespace
