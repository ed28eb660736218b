// The entry points the multimedia layer calls. Loading and unloading do no
// work: everything the driver needs is created on first use.

#include "driver/MessageNames.h"
#include "driver/MidiDevices.h"
#include "driver/Trace.h"
#include "driver/WinMMAbi.h"

using namespace corvello;

// Nothing here, not even a trace: it runs under the system's loader lock.
CORVMIDI_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

namespace {

constexpr MessageName kDriverMessageNames[] = {
    {DRV_LOAD, "DRV_LOAD"},       {DRV_ENABLE, "DRV_ENABLE"},
    {DRV_OPEN, "DRV_OPEN"},       {DRV_CLOSE, "DRV_CLOSE"},
    {DRV_DISABLE, "DRV_DISABLE"}, {DRV_FREE, "DRV_FREE"},
    {DRV_CONFIGURE, "DRV_CONFIGURE"}, {DRV_QUERYCONFIGURE, "DRV_QUERYCONFIGURE"},
    {DRV_INSTALL, "DRV_INSTALL"},
};

void traceDriverMessage(UINT message)
{
    if (!traceDetailEnabled())
        return;
    if (const char* name = messageName(kDriverMessageNames, message))
        traceDetail("DriverProc: %s", name);
    else
        traceDetail("DriverProc: message %u", message);
}

}  // namespace

CORVMIDI_EXPORT LRESULT CALLBACK DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message,
                                            LPARAM param1, LPARAM param2)
{
    traceDriverMessage(message);
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
