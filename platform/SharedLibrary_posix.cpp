#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace corvello {

const bool kLoaderCallsDllMain = false;

void* openSharedLibrary(const std::string& path, std::string& error, Unloading unloading)
{
    const int keep = unloading == Unloading::never ? RTLD_NODELETE : 0;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | keep);
    if (library == nullptr)
        error = dlerror();
    return library;
}

void* sharedLibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

void closeSharedLibrary(void* library) { dlclose(library); }

}  // namespace corvello
