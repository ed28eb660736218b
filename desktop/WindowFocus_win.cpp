#include "desktop/Win32Desktop.h"

namespace corvello {

namespace {

constexpr DWORD kAttachWaitMs = 5;
constexpr DWORD kAltTapWaitMs = 50;

// Two Alt taps count as user input, which lifts the foreground lock that
// otherwise keeps a background program from activating a window.
void tapAltTwice()
{
    INPUT keys[4] = {};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = VK_MENU;
        keys[i].ki.dwFlags = KEYEVENTF_EXTENDEDKEY | (i % 2 ? KEYEVENTF_KEYUP : 0);
    }
    SendInput(4, keys, sizeof(INPUT));
}

HWND currentForegroundOrTaskbar()
{
    HWND foreground = GetForegroundWindow();
    return foreground ? foreground : FindWindowA("Shell_TrayWnd", nullptr);
}

// Borrows the foreground thread's input state, which Windows lets activate windows.
void forceForeground(HWND window)
{
    const DWORD from = GetWindowThreadProcessId(currentForegroundOrTaskbar(), nullptr);
    const DWORD to = GetWindowThreadProcessId(window, nullptr);
    const bool attached = from != 0 && to != 0 && from != to && AttachThreadInput(from, to, TRUE);
    Sleep(kAttachWaitMs);
    if (!SetForegroundWindow(window)) {
        tapAltTwice();
        Sleep(kAltTapWaitMs);
        SetForegroundWindow(window);
    }
    if (attached)
        AttachThreadInput(from, to, FALSE);
    if (GetForegroundWindow() != window)
        SwitchToThisWindow(window, TRUE);
}

}  // namespace

void bringWindowToFront(HWND window)
{
    // A modal dialog owned by the window is what has to come forward.
    if (HWND popup = GetWindow(window, GW_ENABLEDPOPUP))
        window = popup;
    if (!IsWindow(window) || IsHungAppWindow(window))
        return;
    if (IsIconic(window)) {
        PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        return;
    }
    if (GetForegroundWindow() == window)
        return;
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    if (!SetForegroundWindow(window))
        forceForeground(window);
}

}  // namespace corvello
