#include "driver/loader/SharedLibrary.h"

#include <dlfcn.h>

namespace corvello {

const bool kLoaderCallsDllMain = false;

void* openSharedLibrary(const std::string& path, std::string& error)
{
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        error = dlerror();
    return library;
}

void* sharedLibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

void closeSharedLibrary(void* library) { dlclose(library); }

}  // namespace corvello
