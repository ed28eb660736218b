#pragma once
// The multimedia driver interface for hosts other than Windows: the 64-bit
// layouts of the real structures with fixed-width types, and the constants the
// driver and its host use. DriverCallback and DefDriverProc, which winmm
// provides on Windows, are provided by the driver library itself here.

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using WCHAR = char16_t;
using DWORD_PTR = std::uint64_t;
using LPARAM = std::int64_t;
using LRESULT = std::int64_t;
using MMRESULT = UINT;
using MMVERSION = UINT;
using HANDLE = void*;
using HINSTANCE = void*;
using HDRVR = void*;
using HMIDI = void*;
using LPVOID = void*;
using LPSTR = char*;

static_assert(sizeof(void*) == 8, "the layouts below are the 64-bit ones");

#define WINAPI
#define CALLBACK
#define APIENTRY

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

inline constexpr DWORD DLL_PROCESS_DETACH = 0;
inline constexpr DWORD DLL_PROCESS_ATTACH = 1;

// Results.
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MIDIERR_UNPREPARED = 64;
inline constexpr MMRESULT MIDIERR_STILLPLAYING = 65;

// DriverProc messages.
inline constexpr UINT DRV_LOAD = 1;
inline constexpr UINT DRV_ENABLE = 2;
inline constexpr UINT DRV_OPEN = 3;
inline constexpr UINT DRV_CLOSE = 4;
inline constexpr UINT DRV_DISABLE = 5;
inline constexpr UINT DRV_FREE = 6;
inline constexpr UINT DRV_CONFIGURE = 7;
inline constexpr UINT DRV_QUERYCONFIGURE = 8;
inline constexpr UINT DRV_INSTALL = 9;
inline constexpr LRESULT DRVCNF_RESTART = 2;

// Output device messages.
inline constexpr UINT MODM_GETNUMDEVS = 1;
inline constexpr UINT MODM_GETDEVCAPS = 2;
inline constexpr UINT MODM_OPEN = 3;
inline constexpr UINT MODM_CLOSE = 4;
inline constexpr UINT MODM_PREPARE = 5;
inline constexpr UINT MODM_UNPREPARE = 6;
inline constexpr UINT MODM_DATA = 7;
inline constexpr UINT MODM_LONGDATA = 8;
inline constexpr UINT MODM_RESET = 9;
inline constexpr UINT MODM_STRMDATA = 14;
inline constexpr UINT MODM_GETPOS = 17;
inline constexpr UINT MODM_PAUSE = 18;
inline constexpr UINT MODM_RESTART = 19;
inline constexpr UINT MODM_STOP = 20;
inline constexpr UINT MODM_PROPERTIES = 21;
inline constexpr UINT MODM_PREFERRED = 22;
inline constexpr UINT MODM_INIT = 100;
inline constexpr UINT MODM_RECONFIGURE = 0x4000 + 0x0768;

// Input device messages.
inline constexpr UINT MIDM_GETNUMDEVS = 53;
inline constexpr UINT MIDM_GETDEVCAPS = 54;
inline constexpr UINT MIDM_OPEN = 55;
inline constexpr UINT MIDM_CLOSE = 56;
inline constexpr UINT MIDM_PREPARE = 57;
inline constexpr UINT MIDM_UNPREPARE = 58;
inline constexpr UINT MIDM_ADDBUFFER = 59;
inline constexpr UINT MIDM_START = 60;
inline constexpr UINT MIDM_STOP = 61;
inline constexpr UINT MIDM_RESET = 62;
inline constexpr UINT MIDM_INIT = 100;

// Notifications.
inline constexpr UINT MIM_OPEN = 0x3C1;
inline constexpr UINT MIM_CLOSE = 0x3C2;
inline constexpr UINT MIM_DATA = 0x3C3;
inline constexpr UINT MIM_LONGDATA = 0x3C4;
inline constexpr UINT MOM_OPEN = 0x3C7;
inline constexpr UINT MOM_CLOSE = 0x3C8;
inline constexpr UINT MOM_DONE = 0x3C9;

// Callback kinds: CALLBACK_* in the open flags, DCB_* for DriverCallback.
inline constexpr DWORD CALLBACK_NULL = 0x00000;
inline constexpr DWORD CALLBACK_FUNCTION = 0x30000;
inline constexpr DWORD DCB_NULL = 0;
inline constexpr DWORD DCB_FUNCTION = 3;
inline constexpr DWORD DCB_TYPEMASK = 7;

// Header flags.
inline constexpr DWORD MHDR_DONE = 0x1;
inline constexpr DWORD MHDR_PREPARED = 0x2;
inline constexpr DWORD MHDR_INQUEUE = 0x4;

struct MIDIHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    MIDIHDR* lpNext;
    DWORD_PTR reserved;
    DWORD dwOffset;
    DWORD_PTR dwReserved[8];
};
static_assert(sizeof(MIDIHDR) == 120);

struct MIDIOPENSTRMID {
    DWORD dwStreamID;
    UINT uDeviceID;
};

struct MIDIOPENDESC {
    HMIDI hMidi;
    DWORD_PTR dwCallback;
    DWORD_PTR dwInstance;
    DWORD_PTR dnDevNode;
    DWORD cIds;
    MIDIOPENSTRMID rgIds[1];
};

struct MIDIOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    char szPname[32];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};
struct MIDIOUTCAPSW {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    WCHAR szPname[32];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};
struct MIDIINCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    char szPname[32];
    DWORD dwSupport;
};
struct MIDIINCAPSW {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    WCHAR szPname[32];
    DWORD dwSupport;
};
static_assert(sizeof(MIDIOUTCAPSA) == 52 && sizeof(MIDIOUTCAPSW) == 84);
static_assert(sizeof(MIDIINCAPSA) == 44 && sizeof(MIDIINCAPSW) == 76);

// What a host's CALLBACK_FUNCTION receives.
using MIDICALLBACK = void (*)(HMIDI device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                              DWORD_PTR param2);

extern "C" {
BOOL DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message, DWORD_PTR user,
                    DWORD_PTR param1, DWORD_PTR param2);
LRESULT DefDriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1,
                      LPARAM param2);
}

#define CORVMIDI_EXPORT extern "C" __attribute__((visibility("default")))
