// Corvello on Windows: a windowless tray program. A hidden window serves the
// tray icon, its tooltip, balloons and menu; everything else runs on the
// threads that the link, the MIDI server, the queues and the browser start.
// Events from the link thread reach the window as a posted message, so the
// status is only ever touched on the window's thread.

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/LinkWatch.h"
#include "app/LocalAddresses.h"
#include "app/Program.h"
#include "app/ProgramLog.h"
#include "app/SettingsFile.h"
#include "app/TrayStatus.h"
#include "app/resource.h"
#include "core/HostSelection.h"
#include "desktop/DesktopSettings.h"
#include "link/DnsSd.h"
#include "platform/Log.h"

namespace {

using corvello::LinkWatch;

const corvello::Program* runningProgram = nullptr;  // read on the window's thread only
using corvello::TrayStatus;

constexpr UINT kTrayIconId = 1;
constexpr UINT kTrayCallbackMessage = WM_APP + 1;  // 0x8001
constexpr UINT kLinkEventMessage = WM_APP + 2;
constexpr UINT kTrayMenuNotification = WM_CONTEXTMENU;
// Addresses come and go with networks; the protocol is read from the translator.
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshIntervalMs = 5000;

constexpr char kSettingsKey[] = "Software\\Corvello";
constexpr char kAllowDesktopValue[] = "AllowDesktopControl";

HINSTANCE instance;
char windowTitle[100];
char windowClass[100];
std::filesystem::path logFolder;

TrayStatus status;
std::vector<std::string> loggedStatus;

// Filled on the link thread, emptied on the window's.
std::mutex linkChangesLock;
std::vector<LinkWatch::Change> linkChanges;
HWND trayWindow;

NOTIFYICONDATAA trayIconData(HWND window)
{
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = kTrayIconId;
    return data;
}

void copyText(char* field, std::size_t size, const std::string& text) { lstrcpynA(field, text.c_str(), static_cast<int>(size)); }

// ---- the per-user desktop switch

bool readDesktopSwitch()
{
    DWORD allowed = 1;
    DWORD size = sizeof allowed;
    RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, kAllowDesktopValue, RRF_RT_REG_DWORD, nullptr, &allowed, &size);
    return allowed != 0;
}

void writeDesktopSwitch(bool allowed)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        corvello::log::warning("Cannot remember the desktop switch in HKEY_CURRENT_USER\\%s", kSettingsKey);
        return;
    }
    const DWORD value = allowed ? 1 : 0;
    RegSetValueExA(key, kAllowDesktopValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

// ---- status

void showStatus(HWND window)
{
    NOTIFYICONDATAA data = trayIconData(window);
    data.uFlags = NIF_TIP | NIF_SHOWTIP;
    copyText(data.szTip, sizeof data.szTip, corvello::trayTooltip(status, sizeof data.szTip - 1));
    Shell_NotifyIconA(NIM_MODIFY, &data);

    // The log keeps what the user saw, for a later look at what went wrong:
    // each line when it first appears.
    const std::vector<std::string> lines = corvello::trayStatusLines(status);
    for (const std::string& line : lines)
        if (std::find(loggedStatus.begin(), loggedStatus.end(), line) == loggedStatus.end())
            corvello::log::info("Tray: %s", line.c_str());
    loggedStatus = lines;
}

// The translator is the authority on the protocol; a change is shown at once
// from the link's event and confirmed here.
void refreshStatus(HWND window)
{
    status.addresses = corvello::localIPv4Addresses();
    if (status.remote)
        status.protocol = (runningProgram ? runningProgram->hostProtocolState() : corvello::kNoProtocol);
    showStatus(window);
}

// Logged too, as the status lines are.
void showBalloon(HWND window, const corvello::Balloon& balloon, DWORD icon)
{
    corvello::log::info("Tray balloon: %s: %s", balloon.title.c_str(), balloon.text.c_str());
    NOTIFYICONDATAA data = trayIconData(window);
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = icon;
    copyText(data.szInfoTitle, sizeof data.szInfoTitle, balloon.title);
    copyText(data.szInfo, sizeof data.szInfo, balloon.text);
    Shell_NotifyIconA(NIM_MODIFY, &data);
}

void onLinkChange(const LinkWatch::Change& change)
{
    {
        std::lock_guard lock(linkChangesLock);
        linkChanges.push_back(change);
    }
    PostMessageA(trayWindow, kLinkEventMessage, 0, 0);
}

void handleLinkChanges(HWND window)
{
    std::vector<LinkWatch::Change> changes;
    {
        std::lock_guard lock(linkChangesLock);
        changes.swap(linkChanges);
    }
    for (const LinkWatch::Change& change : changes) {
        switch (change.event) {
        case LinkWatch::Event::Connected:
            status.remote = change.address;
            status.protocol = (runningProgram ? runningProgram->hostProtocolState() : corvello::kNoProtocol);
            showBalloon(window, corvello::remoteConnectedBalloon(change.address), NIIF_INFO);
            break;
        case LinkWatch::Event::Disconnected:
            status.remote.reset();
            status.protocol = corvello::kNoProtocol;
            break;
        case LinkWatch::Event::ProtocolSelected:
            status.protocol = change.protocol;
            break;
        case LinkWatch::Event::Refused: {
            const corvello::Balloon balloon = corvello::remoteRefusedBalloon(change.address, change.alsoRefused);
            showBalloon(window, balloon, NIIF_WARNING);
            break;
        }
        }
    }
    showStatus(window);
}

// ---- the menu

void openLogFolder()
{
    ShellExecuteW(nullptr, L"open", logFolder.wstring().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// Live for the connected remote too, and remembered for the next start.
void toggleDesktopSwitch()
{
    const bool allowed = !corvello::desktopSettings().allowsControl();
    corvello::desktopSettings().allowControl(allowed);
    writeDesktopSwitch(allowed);
    corvello::log::info("Desktop control %s", allowed ? "allowed" : "not allowed");
}

// The status lines head the menu, greyed: they inform, they do nothing.
void insertStatusLines(HMENU popup)
{
    UINT position = 0;
    for (const std::string& line : corvello::trayStatusLines(status))
        InsertMenuA(popup, position++, MF_BYPOSITION | MF_STRING | MF_GRAYED, 0, line.c_str());
    InsertMenuA(popup, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
}

void showTrayMenu(HWND window, int x, int y)
{
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_TRAY_MENU));
    if (!menu)
        return;
    if (HMENU popup = GetSubMenu(menu, 0)) {
        insertStatusLines(popup);
        CheckMenuItem(popup, IDM_ALLOW_DESKTOP,
                      MF_BYCOMMAND | (corvello::desktopSettings().allowsControl() ? MF_CHECKED : MF_UNCHECKED));
        UINT flags = TPM_RIGHTBUTTON;
        flags |= GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
        // Without the foreground the menu would not close when the user clicks elsewhere.
        SetForegroundWindow(window);
        TrackPopupMenuEx(popup, flags, x, y, window, nullptr);
        PostMessageA(window, WM_NULL, 0, 0);
    }
    DestroyMenu(menu);
}

void addTrayIcon(HWND window)
{
    NOTIFYICONDATAA data = trayIconData(window);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_CORVELLO));
    LoadStringA(instance, IDS_TRAY_TIP, data.szTip, sizeof data.szTip);
    Shell_NotifyIconA(NIM_ADD, &data);
    data.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconA(NIM_SETVERSION, &data);
}

// The shell would otherwise keep a ghost icon until the pointer passes over it.
void removeTrayIcon(HWND window)
{
    NOTIFYICONDATAA data = trayIconData(window);
    Shell_NotifyIconA(NIM_DELETE, &data);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_EXIT:
            DestroyWindow(window);
            return 0;
        case IDM_ALLOW_DESKTOP:
            toggleDesktopSwitch();
            return 0;
        case IDM_OPEN_LOG_FOLDER:
            openLogFolder();
            return 0;
        default:
            break;
        }
        break;
    case WM_TIMER:
        if (wParam == kRefreshTimer)
            refreshStatus(window);
        return 0;
    case kLinkEventMessage:
        handleLinkChanges(window);
        return 0;
    case WM_DESTROY:
        KillTimer(window, kRefreshTimer);
        removeTrayIcon(window);
        PostQuitMessage(0);
        return 0;
    case kTrayCallbackMessage:
        // With notification version 4 the event is in lParam's low word and
        // the anchor point in wParam.
        if (LOWORD(lParam) == kTrayMenuNotification)
            showTrayMenu(window, static_cast<short>(LOWORD(wParam)), static_cast<short>(HIWORD(wParam)));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void registerWindowClass()
{
    LoadStringA(instance, IDS_APP_TITLE, windowTitle, sizeof windowTitle);
    LoadStringA(instance, IDS_WINDOW_CLASS, windowClass, sizeof windowClass);
    WNDCLASSEXA windowClassInfo{};
    windowClassInfo.cbSize = sizeof windowClassInfo;
    windowClassInfo.style = CS_HREDRAW | CS_VREDRAW;
    windowClassInfo.lpfnWndProc = windowProcedure;
    windowClassInfo.hInstance = instance;
    windowClassInfo.lpszClassName = windowClass;
    RegisterClassExA(&windowClassInfo);  // a failure shows up as a failed window creation
}

// The options are the Linux daemon's, and so is the settings file's format;
// --no-desktop holds for this run only (the menu's switch is what is
// remembered). The program has no console, so what --help and --version
// print, and what is wrong with an option or the file, is shown in a message
// box and written to the log. False when the program is not to run;
// `exitCode` then says how it ends: 0 after --help or --version, 2 on a fault.
bool readOptions(corvello::Options& options, int& exitCode)
{
    using corvello::CommandLine;
    std::string problem;
    const auto commandLine = corvello::parseCommandLine({__argv + 1, __argv + __argc}, problem);
    const std::filesystem::path settingsFile = corvello::settingsFilePath();
    if (commandLine && commandLine->request != CommandLine::Request::Run) {
        const std::string text = commandLine->request == CommandLine::Request::Help
                                     ? corvello::helpText(settingsFile.string())
                                     : "Corvello " + corvello::versionText();
        corvello::log::info("%s", text.c_str());
        MessageBoxA(nullptr, text.c_str(), "Corvello", MB_OK | MB_ICONINFORMATION);
        exitCode = 0;
        return false;
    }
    std::optional<corvello::Options> read;
    if (commandLine)
        read = corvello::readOptions(settingsFile, commandLine->values, problem);
    if (!read) {
        const std::string text = commandLine ? problem : problem + "\n" + corvello::usageLine();
        corvello::log::error("Corvello: %s", text.c_str());
        MessageBoxA(nullptr, text.c_str(), "Corvello", MB_OK | MB_ICONERROR);
        exitCode = 2;
        return false;
    }
    options = *read;
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    instance = hInstance;
    logFolder = corvello::startProgramLog();
    corvello::Options options;
    if (int exitCode = 0; !readOptions(options, exitCode))
        return exitCode;
    corvello::log::setVerbose(options.verbose);
    corvello::desktopSettings().allowControl(readDesktopSwitch() && !options.noDesktop);
    MSG message{};
    {
        corvello::Program program;
        runningProgram = &program;
        registerWindowClass();
        HWND window = CreateWindowExA(0, windowClass, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                      CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
        if (!window)
            return 0;
        trayWindow = window;
        addTrayIcon(window);

        static LinkWatch watch(onLinkChange);
        status.port = program.start(options.link, &watch);
        if (status.port == 0) {
            corvello::log::error("Corvello: the remote link cannot listen; exiting");
            removeTrayIcon(window);
            ExitProcess(1);
        }
        status.discoveryAvailable = corvello::dnssd().isLoaded();
        corvello::log::info("Corvello is listening for the remote on TCP port %u", unsigned{status.port});
        refreshStatus(window);
        SetTimer(window, kRefreshTimer, kRefreshIntervalMs, nullptr);

        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        program.shutdown();
        runningProgram = nullptr;
    }
    // The link, the queues and the MIDI server's threads end with the process;
    // process-wide objects they use are not torn down under them.
    ExitProcess(static_cast<UINT>(message.wParam));
}
