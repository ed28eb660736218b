#include "link/DnsSdPlatform.h"

#include "platform/SharedLibrary.h"

#include <windows.h>

namespace corvello::dnssd_platform {

const char* defaultLibraryName() { return "dnssd.dll"; }

void* openLibrary(const char* name)
{
    std::string ignored;
    return openSharedLibrary(name, ignored);
}

void* findEntryPoint(void* library, const char* name) { return sharedLibrarySymbol(library, name); }

void closeLibrary(void* library) { closeSharedLibrary(library); }

std::string computerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size))
        return {};
    return std::string(name, size);
}

}  // namespace corvello::dnssd_platform
