#pragma once
// The driver interface from MinGW's headers. DriverCallback is exported by
// winmm but not declared there.

#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

extern "C" __declspec(dllimport) BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags,
                                                            HDRVR device, DWORD message,
                                                            DWORD_PTR user, DWORD_PTR param1,
                                                            DWORD_PTR param2);

// Exports are listed in corvmidi.def.
#define CORVMIDI_EXPORT extern "C"
