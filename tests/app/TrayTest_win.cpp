// Corvello.exe as a user meets it: started for real (under Wine with an X
// display in CI), its tray icon is registered with the shell, a right click
// opens its menu, "Allow desktop control" is remembered per user and acts on
// the connected remote at once, "E&xit" ends the program with code 0, and its
// options and settings file (%APPDATA%\Corvello\corvello.conf, written by the
// test and restored after) answer through message boxes. What the tray shows
// is also written to the per-user log, which is how the test reads it (menus,
// tooltips and balloons of another process cannot be read under Wine); a
// remote is played over loopback TCP, the DAW by corvello-pipeclient.exe
// started with its output on a pipe.

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "link/WireFormat.h"
#include "tests/support/StartedProcess_win.h"

#include <chrono>
#include <cstring>
#include <filesystem>
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
    explicit RunningCorvello(const std::string& arguments = "")
        : StartedProcess("\"" + windowsPath(CORVELLO_EXE) + "\"" + (arguments.empty() ? "" : " " + arguments))
    {
    }
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
    // Reads the main channel until a record of `kind` and `index` arrives;
    // nothing when the time runs out first.
    std::optional<corvello::MessageRecord> waitForRecord(std::uint16_t kind, std::int32_t index, DWORD timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::optional<corvello::MessageRecord> found;
        while (!found && std::chrono::steady_clock::now() < deadline) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_, &readable);
            timeval slice{0, 100000};
            if (select(0, &readable, nullptr, nullptr, &slice) != 1)
                continue;
            char chunk[4096];
            const int n = recv(socket_, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            stream_.insert(stream_.end(), chunk, chunk + n);
            corvello::wire::parseStream(stream_, [&](const corvello::MessageRecord& record) {
                if (!found && record.kind == kind && record.index == index)
                    found = record;
            });
        }
        return found;
    }
    bool connected = false;

private:
    SOCKET socket_ = INVALID_SOCKET;
    std::vector<std::uint8_t> stream_;
};

// The DAW's side of one virtual port: corvello-pipeclient.exe with its stdout
// and stderr on one pipe, read line by line.
class DawPort {
public:
    explicit DawPort(const std::string& name)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE writeEnd = nullptr;
        if (!CreatePipe(&read_, &writeEnd, &inherit, 0))
            return;
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        std::string commandLine = "\"" + windowsPath(PIPECLIENT_EXE) + "\" " + name;
        started_ = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &process_);
        CloseHandle(writeEnd);
    }
    ~DawPort()
    {
        if (started_) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 5000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        if (read_)
            CloseHandle(read_);
    }
    DawPort(const DawPort&) = delete;
    DawPort& operator=(const DawPort&) = delete;

    // True once a line holding `text` has arrived.
    bool waitForLine(const std::string& text, DWORD timeoutMs = 10000)
    {
        return poll(
            [&] {
                DWORD available = 0;
                while (PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
                    char chunk[1024];
                    DWORD got = 0;
                    if (!ReadFile(read_, chunk, sizeof chunk, &got, nullptr) || got == 0)
                        break;
                    pending_.append(chunk, got);
                }
                for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
                    const bool match = pending_.compare(0, end, text) == 0 ||
                                       pending_.substr(0, end).find(text) != std::string::npos;
                    pending_.erase(0, end + 1);
                    if (match)
                        return true;
                }
                return false;
            },
            timeoutMs);
    }

private:
    HANDLE read_ = nullptr;
    BOOL started_ = FALSE;
    PROCESS_INFORMATION process_{};
    std::string pending_;
};

// The per-user settings file, written for one test; what was there before
// comes back afterwards.
class SettingsFile {
public:
    explicit SettingsFile(const std::string& text)
    {
        char folder[MAX_PATH] = {};
        SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, folder);
        path_ = std::filesystem::path(folder) / "Corvello" / "corvello.conf";
        std::error_code ignored;
        std::filesystem::create_directories(path_.parent_path(), ignored);
        if (std::ifstream old{path_, std::ios::binary}) {
            std::stringstream content;
            content << old.rdbuf();
            before_ = content.str();
        }
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~SettingsFile()
    {
        if (before_)
            std::ofstream(path_, std::ios::binary) << *before_;
        else
            std::filesystem::remove(path_);
    }
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

private:
    std::filesystem::path path_;
    std::optional<std::string> before_;
};

// The text of a message box that Corvello shows, once it appears.
std::optional<std::string> messageBoxText(HWND& box)
{
    box = poll([] { return FindWindowA("#32770", "Corvello"); }, 20000);
    if (!box)
        return std::nullopt;
    std::string text;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM collected) {
            char part[2048] = {};
            GetWindowTextA(child, part, sizeof part);
            reinterpret_cast<std::string*>(collected)->append(part).append("\n");
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

int countOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

std::string logSince(std::streamoff offset)
{
    std::ifstream file(logPath(), std::ios::binary);
    file.seekg(offset);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

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

// Corvello started for real, with its hidden window and the port it logged
// (null and 0 when they did not appear). The log's offset is taken before
// the start, so every line of this run lies past it.
struct ListeningCorvello {
    ListeningCorvello()
    {
        if (!program.started)
            return;
        window = poll([] { return FindWindowA("Corvello", "Corvello"); }, 20000);
        if (const auto listening = waitForLogLine(offset, "Corvello is listening for the remote on TCP port (\\d+)"))
            port = static_cast<unsigned>(std::stoul(listening->groups[1]));
    }
    // Chooses "E&xit" from the tray menu; the exit code, or nothing.
    std::optional<DWORD> exitFromMenu() const
    {
        return chooseFromTrayMenu(window, 'x') ? program.waitForExit(15000) : std::nullopt;
    }

    std::streamoff offset = logSize();
    RunningCorvello program;
    HWND window = nullptr;
    unsigned port = 0;
};

// Without a console, what --help and --version print and what is wrong with
// an option or the settings file is shown in a message box; nothing else
// starts, and the exit code is 0 after OK for --help and --version, 2 for a fault.
TEST(TrayProgram, OptionsAndTheSettingsFileAnswerInAMessageBox)
{
    struct Case {
        std::string arguments;
        std::string settings;  // empty: no settings file
        std::vector<std::string> shown;
        DWORD exitCode;
    };
    const Case cases[] = {
        {"--version", "", {"Corvello 0."}, 0},
        {"--help", "not a setting", {"--allow CIDR", "--no-desktop", "\\Corvello\\corvello.conf"}, 0},
        {"--frobnicate", "", {"unknown argument: --frobnicate", "usage: corvello"}, 2},
        {"", "# the studio\nlisten = 192.0.2.1\n", {"corvello.conf:2: listen = 192.0.2.1: not an address of this computer"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments + " / " + c.settings);
        std::optional<SettingsFile> settings;
        if (!c.settings.empty())
            settings.emplace(c.settings);
        RunningCorvello corvello(c.arguments);
        ASSERT_TRUE(corvello.started) << GetLastError();
        HWND box = nullptr;
        const std::optional<std::string> text = messageBoxText(box);
        ASSERT_TRUE(text) << "no message box";
        for (const std::string& part : c.shown)
            EXPECT_NE(text->find(part), std::string::npos) << part << " not in: " << *text;
        EXPECT_EQ(FindWindowA("Corvello", "Corvello"), nullptr) << "the tray program started all the same";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(corvello.waitForExit(15000), std::optional<DWORD>(c.exitCode));
    }
}

// The settings file's "allow" leaves loopback out, so a local connection is
// refused: the tray says so in a balloon, once however many arrive at once.
TEST(TrayProgram, ARefusedRemoteIsShownInABalloonAtMostOncePerInterval)
{
    SettingsFile settings("allow = 10.0.0.0/8\n");
    ListeningCorvello corvello;
    ASSERT_NE(corvello.port, 0u) << "did not start";
    const std::streamoff offset = corvello.offset;

    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(LoopbackRemote(corvello.port).connected) << "loopback was served despite the file's allow";
    const std::string balloon = "Tray balloon: Remote refused: Corvello refused a connection from 127.0.0.1";
    ASSERT_TRUE(waitForLogLine(offset, balloon));
    EXPECT_TRUE(waitForLogLine(offset, "refused a remote at 127\\.0\\.0\\.1"));
    Sleep(1000);  // time for any balloon beyond the first to show up
    EXPECT_EQ(countOf(logSince(offset), balloon), 1) << logSince(offset);
    EXPECT_EQ(corvello.exitFromMenu(), std::optional<DWORD>(0));
}

// The switch acts on the connected remote at once: its next desktop command
// is ignored, while its DAW control goes on reaching the DAW.
TEST(TrayProgram, SwitchingDesktopControlOffStopsTheRemotesDesktopCommandsButNotTheDaw)
{
    const std::optional<DWORD> before = desktopSwitch();
    RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Corvello", "AllowDesktopControl");  // allowed
    ListeningCorvello corvello;
    ASSERT_NE(corvello.port, 0u) << "did not start";
    const std::streamoff offset = corvello.offset;

    DawPort daw("Tamberlin");
    ASSERT_TRUE(daw.waitForLine("connected to Tamberlin")) << "the DAW's port did not open";
    LoopbackRemote remote(corvello.port);
    ASSERT_TRUE(remote.connected);
    ASSERT_TRUE(remote.sendNumber(186, 1, 1.0f));  // Mackie Control
    ASSERT_TRUE(daw.waitForLine("F0 00 00 66 14 01")) << "the DAW did not hear the protocol";

    constexpr std::uint16_t kDesktop = 210, kListProcesses = 14, kProcessList = 16;
    ASSERT_TRUE(remote.sendNumber(kDesktop, kListProcesses, 0.0f));
    ASSERT_TRUE(remote.waitForRecord(kDesktop, kProcessList, 10000)) << "no process list while allowed";

    ASSERT_TRUE(chooseFromTrayMenu(corvello.window, 'd'));
    ASSERT_TRUE(waitForLogLine(offset, "Desktop control not allowed"));
    ASSERT_TRUE(remote.sendNumber(kDesktop, kListProcesses, 0.0f));
    EXPECT_FALSE(remote.waitForRecord(kDesktop, kProcessList, 2000)) << "a desktop command ran while not allowed";
    EXPECT_TRUE(waitForLogLine(offset, "Desktop control is off: ignoring the remote's desktop commands"));
    ASSERT_TRUE(remote.sendNumber(9, 1, 1.0f));  // a fader at the top
    EXPECT_TRUE(daw.waitForLine("E1 7F 7F")) << "DAW control stopped with desktop control";
    EXPECT_EQ(corvello.exitFromMenu(), std::optional<DWORD>(0));
    RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Corvello", "AllowDesktopControl");
    if (before) {
        const DWORD value = *before;
        RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Corvello", "AllowDesktopControl", REG_DWORD, &value,
                        sizeof value);
    }
}

}  // namespace
