// Self-registration, as regsvr32 calls it: the driver claims or clears its
// slot among the multimedia layer's MIDI drivers.

#include "driver/RegistryDriverSlots.h"

#include <windows.h>

using namespace corvello;

extern "C" HRESULT WINAPI DllRegisterServer()
{
    RegistryDriverSlots slots;
    return registerDriver(slots, kDriverFileName) ? S_OK : E_UNEXPECTED;
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    RegistryDriverSlots slots;
    return unregisterDriver(slots, kDriverFileName) == 0 ? S_OK : E_UNEXPECTED;
}
