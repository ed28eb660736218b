#include "driver/WinMMAbi.h"

// What winmm does for a driver on Windows. Hosts here only know callback
// functions: window, task and event callbacks have no meaning outside Windows.
extern "C" BOOL DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message,
                               DWORD_PTR user, DWORD_PTR param1, DWORD_PTR param2)
{
    switch (flags & DCB_TYPEMASK) {
    case DCB_NULL:
        return TRUE;
    case DCB_FUNCTION:
        if (callback == 0)
            return FALSE;
        reinterpret_cast<MIDICALLBACK>(callback)(device, message, user, param1, param2);
        return TRUE;
    default:
        return FALSE;
    }
}

// No installable-driver manager here: nothing a driver leaves unanswered has
// a default meaning.
extern "C" LRESULT DefDriverProc(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM) { return 0; }
