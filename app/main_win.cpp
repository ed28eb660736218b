// Corvello on Windows: a windowless tray program. A hidden window serves the
// tray icon and its one-item menu; everything else runs on the threads that
// the link, the MIDI server, the queues and the browser start.

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/Program.h"
#include "app/resource.h"
#include "link/LinkOptions.h"
#include "platform/Log.h"

namespace {

constexpr UINT kTrayIconId = 1;
constexpr UINT kTrayCallbackMessage = WM_APP + 1;  // 0x8001
constexpr UINT kTrayMenuNotification = WM_CONTEXTMENU;

HINSTANCE instance;
char windowTitle[100];
char windowClass[100];

void showTrayMenu(HWND window, int x, int y)
{
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDM_TRAY_MENU));
    if (!menu)
        return;
    if (HMENU popup = GetSubMenu(menu, 0)) {
        UINT flags = TPM_RIGHTBUTTON;
        flags |= GetSystemMetrics(SM_MENUDROPALIGNMENT) ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
        // Without the foreground the menu would not close when the user clicks elsewhere.
        SetForegroundWindow(window);
        TrackPopupMenuEx(popup, flags, x, y, window, nullptr);
        PostMessageA(window, WM_NULL, 0, 0);
    }
    DestroyMenu(menu);
}

NOTIFYICONDATAA trayIconData(HWND window)
{
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = kTrayIconId;
    return data;
}

void addTrayIcon(HWND window)
{
    NOTIFYICONDATAA data = trayIconData(window);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
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
        if (LOWORD(wParam) == IDM_EXIT) {
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_DESTROY:
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

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    instance = hInstance;
    corvello::LinkSettings link;
    std::vector<std::string> others;
    std::string error;
    if (!corvello::readLinkOptions(__argc, __argv, link, others, error) || !others.empty()) {
        corvello::log::error("Corvello: %s", others.empty() ? error.c_str() : ("unknown option " + others[0]).c_str());
        return 2;
    }
    MSG message{};
    {
        corvello::Program program;
        registerWindowClass();
        HWND window = CreateWindowExA(0, windowClass, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                      CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
        if (!window)
            return 0;
        addTrayIcon(window);

        if (program.start(link) == 0) {
            corvello::log::error("Corvello: the remote link cannot listen; exiting");
            removeTrayIcon(window);
            ExitProcess(1);
        }
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        program.shutdown();
    }
    // The link, the queues and the MIDI server's threads end with the process;
    // process-wide objects they use are not torn down under them.
    ExitProcess(static_cast<UINT>(message.wParam));
}
