#pragma once
// Run-time loading of a library: dlopen on POSIX, LoadLibrary on Windows.

#include <string>

namespace corvello {

// Null, with `error` set, when the library cannot be loaded.
void* openSharedLibrary(const std::string& path, std::string& error);
void* sharedLibrarySymbol(void* library, const char* name);
void closeSharedLibrary(void* library);

// Whether loading and unloading call the library's DllMain (Windows' loader
// does); where not, the host calls it.
extern const bool kLoaderCallsDllMain;

}  // namespace corvello
