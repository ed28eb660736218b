#pragma once
// The driver's answers to the multimedia layer's output (MODM_*) and input
// (MIDM_*) device messages: capabilities, open and close with their
// notifications, short and long output, and the input buffer queue.

#include "driver/WinMMAbi.h"

namespace corvello {

DWORD outputDeviceMessage(UINT deviceId, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                          DWORD_PTR param2);
DWORD inputDeviceMessage(UINT deviceId, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                         DWORD_PTR param2);

}  // namespace corvello
