// The entry points the multimedia layer calls. Loading and unloading do no
// work: everything the driver needs is created on first use.

#include "driver/MidiDevices.h"
#include "driver/Trace.h"
#include "driver/WinMMAbi.h"

using namespace corvello;

CORVMIDI_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    trace("DllMain(%x %x %x)\n", instance, reason, reserved);
    return TRUE;
}

namespace {

const char* driverMessageName(UINT message)
{
    switch (message) {
    case DRV_LOAD: return "DRV_LOAD\n";
    case DRV_ENABLE: return "DRV_ENABLE\n";
    case DRV_OPEN: return "DRV_OPEN\n";
    case DRV_CLOSE: return "DRV_CLOSE\n";
    case DRV_DISABLE: return "DRV_DISABLE\n";
    case DRV_FREE: return "DRV_FREE\n";
    case DRV_CONFIGURE: return "DRV_CONFIGURE\n";
    case DRV_QUERYCONFIGURE: return "DRV_QUERYCONFIGURE\n";
    case DRV_INSTALL: return "DRV_INSTALL\n";
    default: return nullptr;
    }
}

}  // namespace

CORVMIDI_EXPORT LRESULT CALLBACK DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message,
                                            LPARAM param1, LPARAM param2)
{
    trace("DriverProc(%x %x %x %x %x)\n", driverId, driver, message, param1, param2);
    if (const char* name = driverMessageName(message))
        trace(name);
    switch (message) {
    case DRV_LOAD:
    case DRV_ENABLE:
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_DISABLE:
    case DRV_FREE: return 1;
    case DRV_CONFIGURE:
    case DRV_QUERYCONFIGURE: return 0;
    case DRV_INSTALL: return DRVCNF_RESTART;
    default: return DefDriverProc(driverId, driver, message, param1, param2);
    }
}

CORVMIDI_EXPORT DWORD APIENTRY modMessage(UINT deviceId, UINT message, DWORD_PTR instance,
                                          DWORD_PTR param1, DWORD_PTR param2)
{
    return outputDeviceMessage(deviceId, message, instance, param1, param2);
}

CORVMIDI_EXPORT DWORD APIENTRY midMessage(UINT deviceId, UINT message, DWORD_PTR instance,
                                          DWORD_PTR param1, DWORD_PTR param2)
{
    return inputDeviceMessage(deviceId, message, instance, param1, param2);
}
