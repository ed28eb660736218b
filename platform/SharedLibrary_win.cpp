#include "platform/SharedLibrary.h"

#include <windows.h>

namespace corvello {

const bool kLoaderCallsDllMain = true;

void* openSharedLibrary(const std::string& path, std::string& error, Unloading)
{
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr)
        error = "LoadLibrary failed with error " + std::to_string(GetLastError());
    return library;
}

void* sharedLibrarySymbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeSharedLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace corvello
