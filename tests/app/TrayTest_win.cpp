// Corvello.exe as a user meets it: started for real (under Wine with an X
// display in CI), its tray icon is registered with the shell, a right click
// opens its menu, "Allow desktop control" is remembered per user, and "E&xit"
// ends the program with code 0. What the tray shows is also written to the
// per-user log, which is how the test reads it (menus and tooltips of another
// process cannot be read under Wine); a remote is played over loopback TCP.

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "tests/support/StartedProcess_win.h"

#include <cstring>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

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

struct RunningCorvello : corvello::test::StartedProcess {
    RunningCorvello() : StartedProcess("\"" + windowsPath(CORVELLO_EXE) + "\"") {}
};

// Opens the tray menu as the shell's right-click notification would and types
// a mnemonic into it, as a keyboard user would.
bool chooseFromTrayMenu(HWND window, char mnemonic)
{
    PostMessageA(window, kTrayCallbackMessage, MAKEWPARAM(100, 100), MAKELPARAM(WM_CONTEXTMENU, kTrayIconId));
    HWND menuWindow = poll([] { return FindWindowA("#32768", nullptr); }, 5000);
    if (!menuWindow)
        return false;
    PostMessageA(menuWindow, WM_CHAR, static_cast<WPARAM>(mnemonic), 0);
    return poll([] { return FindWindowA("#32768", nullptr) == nullptr; }, 5000);
}

std::string logPath()
{
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder);
    return std::string(folder) + "\\Corvello\\Corvello.log";
}

std::streamoff logSize()
{
    std::ifstream file(logPath(), std::ios::binary | std::ios::ate);
    return file ? static_cast<std::streamoff>(file.tellg()) : 0;
}

struct LogMatch {
    std::vector<std::string> groups;  // the whole match first
    std::streamoff end;               // where in the file the match ends
};

// Waits for text written since `offset` that matches the pattern.
std::optional<LogMatch> waitForLogLine(std::streamoff offset, const std::string& pattern, DWORD timeoutMs = 15000)
{
    const std::regex expression(pattern);
    std::optional<LogMatch> found;
    poll(
        [&] {
            std::ifstream file(logPath(), std::ios::binary);
            file.seekg(offset);
            std::stringstream content;
            content << file.rdbuf();
            const std::string text = content.str();
            std::smatch match;
            if (std::regex_search(text, match, expression)) {
                found = LogMatch{{match.begin(), match.end()}, offset + match.position(0) + match.length(0)};
            }
            return found.has_value();
        },
        timeoutMs);
    return found;
}

std::optional<DWORD> desktopSwitch()
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Corvello", "AllowDesktopControl", RRF_RT_REG_DWORD, nullptr,
                     &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

// Plays the remote over loopback: connects, trades metering ports, sends packets.
class LoopbackRemote {
public:
    explicit LoopbackRemote(unsigned port)
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        DWORD timeout = 5000;
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        char theirs[2];
        const char ours[2] = {0x50, 0x50};
        connected = ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    recv(socket_, theirs, 2, MSG_WAITALL) == 2 && send(socket_, ours, 2, 0) == 2;
    }
    ~LoopbackRemote()
    {
        closesocket(socket_);
        WSACleanup();
    }
    // One packet of one number item: length, kind, index, float, all little-endian.
    bool sendNumber(std::uint16_t kind, std::uint16_t index, float value)
    {
        unsigned char packet[10] = {10, 0, static_cast<unsigned char>(kind), static_cast<unsigned char>(kind >> 8),
                                    static_cast<unsigned char>(index), static_cast<unsigned char>(index >> 8)};
        std::memcpy(packet + 6, &value, sizeof value);
        return send(socket_, reinterpret_cast<const char*>(packet), sizeof packet, 0) == sizeof packet;
    }
    bool connected = false;

private:
    SOCKET socket_ = INVALID_SOCKET;
};

// Menu handles do not cross processes, so the menu's content is read where
// the program loads it from: its own resources. The status lines are added
// above these when the menu opens.
TEST(TrayProgram, MenuResourceHoldsTheSwitchTheLogFolderAndExit)
{
    HMODULE program = LoadLibraryExA(windowsPath(CORVELLO_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HMENU menu = LoadMenuA(program, MAKEINTRESOURCEA(111));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    struct Item {
        const char* text;
        UINT id;
    };
    const Item expected[] = {{"Allow &desktop control", 112}, {"Open &log folder", 113}, {"", 0}, {"E&xit", 105}};
    ASSERT_EQ(GetMenuItemCount(popup), 4);
    for (int i = 0; i < 4; ++i) {
        char text[64] = {};
        GetMenuStringA(popup, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, expected[i].text);
        EXPECT_EQ(GetMenuItemID(popup, i), expected[i].id);
    }
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

TEST(TrayProgram, DesktopSwitchFromTheMenuIsRememberedPerUser)
{
    const std::optional<DWORD> before = desktopSwitch();
    RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Corvello", "AllowDesktopControl");
    const std::streamoff offset = logSize();
    RunningCorvello corvello;
    ASSERT_TRUE(corvello.started) << GetLastError();
    HWND window = poll([] { return FindWindowA("Corvello", "Corvello"); }, 20000);
    ASSERT_NE(window, nullptr);

    ASSERT_TRUE(chooseFromTrayMenu(window, 'd'));
    EXPECT_TRUE(poll([] { return desktopSwitch() == 0u; }, 5000)) << "not switched off";
    EXPECT_TRUE(waitForLogLine(offset, "Desktop control not allowed"));
    ASSERT_TRUE(chooseFromTrayMenu(window, 'd'));
    EXPECT_TRUE(poll([] { return desktopSwitch() == 1u; }, 5000)) << "not switched on again";

    ASSERT_TRUE(chooseFromTrayMenu(window, 'x'));
    EXPECT_EQ(WaitForSingleObject(corvello.process.hProcess, 15000), WAIT_OBJECT_0);
    if (before) {
        const DWORD value = *before;
        RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Corvello", "AllowDesktopControl", REG_DWORD, &value,
                        sizeof value);
    }
}

TEST(TrayProgram, StatusShowsWhereToConnectAndTheRemoteWithItsProtocol)
{
    const std::streamoff offset = logSize();
    RunningCorvello corvello;
    ASSERT_TRUE(corvello.started) << GetLastError();
    HWND window = poll([] { return FindWindowA("Corvello", "Corvello"); }, 20000);
    ASSERT_NE(window, nullptr);

    const auto listening = waitForLogLine(offset, "Corvello is listening for the remote on TCP port (\\d+)");
    ASSERT_TRUE(listening) << "no port in " << logPath();
    const std::string port = listening->groups[1];
    EXPECT_TRUE(waitForLogLine(offset, "Tray: (Remote connects to [0-9.]+:" + port + "|No network address: TCP port " +
                                           port + ")"));
    // What the C runtime prints on stderr reaches the log too.
    EXPECT_TRUE(waitForLogLine(offset, "info: Ok=(true|false)"));
    HMODULE dnssd = LoadLibraryA("dnssd.dll");
    if (!dnssd)
        EXPECT_TRUE(waitForLogLine(offset, "Tray: No DNS-SD service: type the address above into the remote"));
    else
        FreeLibrary(dnssd);

    std::optional<LogMatch> selected;
    {
        LoopbackRemote remote(static_cast<unsigned>(std::stoul(port)));
        ASSERT_TRUE(remote.connected);
        EXPECT_TRUE(waitForLogLine(offset, "Tray: Remote 127\\.0\\.0\\.1 connected, no protocol selected yet"));
        ASSERT_TRUE(remote.sendNumber(186, 1, 1.0f));  // the host selection: Mackie Control
        selected = waitForLogLine(offset, "Tray: Remote 127\\.0\\.0\\.1 connected: Mackie Control");
        ASSERT_TRUE(selected);
    }
    EXPECT_TRUE(waitForLogLine(selected->end, "Tray: No remote connected"));

    ASSERT_TRUE(chooseFromTrayMenu(window, 'x'));
    EXPECT_EQ(WaitForSingleObject(corvello.process.hProcess, 15000), WAIT_OBJECT_0);
}

}  // namespace
