#pragma once
// What the DNS-SD binding and the service browser need from the operating
// system: loading the client library by name and finding its entry points,
// and this computer's name. (Waiting on the library's socket is link/Socket.h's.)

#include <string>

namespace corvello::dnssd_platform {

// "dnssd.dll" on Windows, Avahi's compatibility library "libdns_sd.so.1" on Linux.
const char* defaultLibraryName();
// Null when the library cannot be loaded.
void* openLibrary(const char* name);
void* findEntryPoint(void* library, const char* name);
void closeLibrary(void* library);

// The name services are published under by default; empty when unreadable.
std::string computerName();

}  // namespace corvello::dnssd_platform
