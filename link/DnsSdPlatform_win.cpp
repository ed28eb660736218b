#include "link/DnsSdPlatform.h"

#include <windows.h>

namespace corvello::dnssd_platform {

const char* defaultLibraryName() { return "dnssd.dll"; }

void* openLibrary(const char* name) { return reinterpret_cast<void*>(::LoadLibraryA(name)); }

void* findEntryPoint(void* library, const char* name)
{
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

std::string computerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size))
        return {};
    return std::string(name, size);
}

}  // namespace corvello::dnssd_platform
