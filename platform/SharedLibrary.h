#pragma once
// Run-time loading of a library: dlopen on POSIX, LoadLibrary on Windows.

#include <string>

namespace corvello {

enum class Unloading { allowed, never };

// Null, with `error` set, when the library cannot be loaded. With
// Unloading::never the library stays mapped after it is closed (on POSIX),
// for one that leaves threads of its own running.
void* openSharedLibrary(const std::string& path, std::string& error,
                        Unloading unloading = Unloading::allowed);
void* sharedLibrarySymbol(void* library, const char* name);
void closeSharedLibrary(void* library);

// Whether loading and unloading call the library's DllMain (Windows' loader
// does); where not, the host calls it.
extern const bool kLoaderCallsDllMain;

}  // namespace corvello
