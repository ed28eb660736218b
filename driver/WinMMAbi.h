#pragma once
// The multimedia layer's driver interface: message numbers, MIDIHDR, open
// description, capability records, MMSYSERR codes and DriverCallback.
// Windows takes them from the system headers; elsewhere the project defines
// the same layouts itself so one driver source serves both.

#if defined(_WIN32)
#include "driver/WinMMAbi_win.h"
#else
#include "driver/WinMMAbi_posix.h"
#endif
