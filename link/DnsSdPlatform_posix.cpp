#include "link/DnsSdPlatform.h"

#include "platform/SharedLibrary.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

namespace corvello::dnssd_platform {

const char* defaultLibraryName() { return "libdns_sd.so.1"; }

void* openLibrary(const char* name)
{
    // Avahi's compatibility layer otherwise warns on stderr at every use.
    ::setenv("AVAHI_COMPAT_NOWARN", "1", 1);
    // Kept mapped after release: Avahi runs a thread per registration, and
    // the remote link's registration lives until the process ends.
    std::string ignored;
    return openSharedLibrary(name, ignored, Unloading::never);
}

void* findEntryPoint(void* library, const char* name) { return sharedLibrarySymbol(library, name); }

void closeLibrary(void* library) { closeSharedLibrary(library); }

std::string computerName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

}  // namespace corvello::dnssd_platform
