#pragma once
// Where the shared things live on POSIX. R is $XDG_RUNTIME_DIR, or
// /tmp/corvello-<uid> (mode 0700, created on first use) when that is unset;
// G is the GUID. Both the server and its clients build every path here.

#include <optional>
#include <string>
#include <string_view>

#include <sys/un.h>

namespace corvello {

// R, or nothing (after a line on the debugger output) when the fallback
// directory cannot be created or belongs to someone else.
std::optional<std::string> virtMidiRuntimeDir();

// R/G.lock: the single-instance lock file.
std::string virtMidiLockPath(const std::string& runtimeDir);
// R/G: the directory of the port list and the port sockets.
std::string virtMidiSharedDir(const std::string& runtimeDir);
// R/G/ports: the port list, the same bytes as the registry value on Windows.
std::string virtMidiPortsPath(const std::string& runtimeDir);

// The socket address R/G/<port name>. False, with `error` set, when the path
// does not fit into sun_path.
bool virtMidiSocketAddress(const std::string& runtimeDir, std::string_view portName,
                           sockaddr_un& address, std::string& error);

}  // namespace corvello
