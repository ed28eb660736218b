#include "driver/loader/DriverLibrary.h"

#include "platform/SharedLibrary.h"

namespace corvello {

namespace {

constexpr DWORD_PTR kDriverId = 1;  // the one "open" of the driver this host makes

template <typename Function>
bool resolveSymbol(void* handle, const char* name, Function& function, std::string& error)
{
    function = reinterpret_cast<Function>(sharedLibrarySymbol(handle, name));
    if (function == nullptr)
        error = std::string("the driver has no entry point ") + name;
    return function != nullptr;
}

}  // namespace

std::unique_ptr<DriverLibrary> DriverLibrary::load(const std::string& path, std::string& error)
{
    void* handle = openSharedLibrary(path, error);
    if (handle == nullptr)
        return nullptr;
    std::unique_ptr<DriverLibrary> library(new DriverLibrary(handle));
    if (!library->resolve(error))
        return nullptr;
    if (!library->attach() || library->driverMessage(DRV_LOAD) == 0 ||
        library->driverMessage(DRV_ENABLE) == 0 || library->driverMessage(DRV_OPEN) == 0) {
        error = "the driver refused to load";
        return nullptr;
    }
    library->outputMessage(0, MODM_INIT);
    library->inputMessage(0, MIDM_INIT);
    return library;
}

DriverLibrary::~DriverLibrary()
{
    if (driverProc_ != nullptr) {
        driverMessage(DRV_CLOSE);
        driverMessage(DRV_DISABLE);
        driverMessage(DRV_FREE);
    }
    if (dllMain_ != nullptr && !kLoaderCallsDllMain)
        dllMain_(static_cast<HINSTANCE>(handle_), DLL_PROCESS_DETACH, nullptr);
    closeSharedLibrary(handle_);
}

bool DriverLibrary::attach() const
{
    return kLoaderCallsDllMain ||
           dllMain_(static_cast<HINSTANCE>(handle_), DLL_PROCESS_ATTACH, nullptr);
}

bool DriverLibrary::resolve(std::string& error)
{
    return resolveSymbol(handle_, "DllMain", dllMain_, error) &&
           resolveSymbol(handle_, "DriverProc", driverProc_, error) &&
           resolveSymbol(handle_, "modMessage", modMessage_, error) &&
           resolveSymbol(handle_, "midMessage", midMessage_, error);
}

LRESULT DriverLibrary::driverMessage(UINT message) const
{
    return driverProc_(kDriverId, static_cast<HDRVR>(handle_), message, 0, 0);
}

DWORD DriverLibrary::outputMessage(UINT deviceId, UINT message, DWORD_PTR instance,
                                   DWORD_PTR param1, DWORD_PTR param2) const
{
    return modMessage_(deviceId, message, instance, param1, param2);
}

DWORD DriverLibrary::inputMessage(UINT deviceId, UINT message, DWORD_PTR instance,
                                  DWORD_PTR param1, DWORD_PTR param2) const
{
    return midMessage_(deviceId, message, instance, param1, param2);
}

}  // namespace corvello
