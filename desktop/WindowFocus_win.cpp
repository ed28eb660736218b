#include "desktop/Win32Desktop.h"

#include <optional>
#include <vector>

#include "platform/Log.h"

namespace corvello {

namespace {

log::RateLimitedLog focusTrouble(log::Level::warning, std::chrono::seconds(10));

// The mandatory integrity level (the last sub-authority of the label's SID).
std::optional<DWORD> integrityLevel(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return std::nullopt;
    DWORD bytes = 0;
    GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &bytes);
    std::vector<std::uint8_t> buffer(bytes);
    std::optional<DWORD> level;
    if (bytes >= sizeof(TOKEN_MANDATORY_LABEL) &&
        GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), bytes, &bytes)) {
        const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
        const UCHAR count = *GetSidSubAuthorityCount(label->Label.Sid);
        if (count > 0)
            level = *GetSidSubAuthority(label->Label.Sid, count - 1u);
    }
    CloseHandle(token);
    return level;
}

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
    if (GetForegroundWindow() != window && outranksThisProgram(window))
        focusTrouble("Desktop: a window the remote chose runs elevated; Windows keeps it from coming forward "
                     "unless Corvello runs elevated too");
}

}  // namespace

bool outranksThisProgram(HWND window)
{
    DWORD pid = 0;
    if (!window || !GetWindowThreadProcessId(window, &pid) || pid == 0)
        return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return false;
    const auto theirs = integrityLevel(process);
    CloseHandle(process);
    const auto ours = integrityLevel(GetCurrentProcess());
    return theirs && ours && *theirs > *ours;
}

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
