#pragma once
// The driver library loaded the way the multimedia layer loads a MIDI driver:
// the library, DllMain's process attach (which the system's loader makes on
// Windows), DriverProc's load sequence and the devices' init messages; the
// reverse on unload.

#include "driver/WinMMAbi.h"

#include <memory>
#include <string>

namespace corvello {

class DriverLibrary {
public:
    // Null, with `error` set, when the library or one of its entry points is
    // missing or the driver refuses to load.
    static std::unique_ptr<DriverLibrary> load(const std::string& path, std::string& error);
    ~DriverLibrary();
    DriverLibrary(const DriverLibrary&) = delete;
    DriverLibrary& operator=(const DriverLibrary&) = delete;

    LRESULT driverMessage(UINT message) const;
    DWORD outputMessage(UINT deviceId, UINT message, DWORD_PTR instance = 0, DWORD_PTR param1 = 0,
                        DWORD_PTR param2 = 0) const;
    DWORD inputMessage(UINT deviceId, UINT message, DWORD_PTR instance = 0, DWORD_PTR param1 = 0,
                       DWORD_PTR param2 = 0) const;

private:
    using DllMainFunction = BOOL (*)(HINSTANCE, DWORD, LPVOID);
    using DriverProcFunction = LRESULT (*)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);
    using DeviceMessageFunction = DWORD (*)(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

    explicit DriverLibrary(void* handle) : handle_(handle) {}
    bool resolve(std::string& error);
    bool attach() const;

    void* handle_;
    DllMainFunction dllMain_ = nullptr;
    DriverProcFunction driverProc_ = nullptr;
    DeviceMessageFunction modMessage_ = nullptr;
    DeviceMessageFunction midMessage_ = nullptr;
};

}  // namespace corvello
