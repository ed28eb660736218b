#pragma once
// The published port list: HKCU\SOFTWARE\<GUID> (volatile key, default value,
// REG_MULTI_SZ) on Windows, the file R/G/ports on POSIX. Both hold the bytes
// of virtMidiEncodePortList.

#include <string>
#include <vector>

namespace corvello {

// Replaces whatever an earlier server left (on POSIX: its list and stale
// sockets in R/G, nothing else) and publishes `encodedList`. False, after a
// line in the log, only when the place of the list is unsafe (on POSIX: R/G
// is a symbolic link, someone else's or open to others): no server may run
// there. Other failures are logged, and the ports are served all the same.
bool virtMidiPublishPortList(const std::string& encodedList);

// The published names in port order; empty when nothing readable is published.
std::vector<std::string> virtMidiReadPortList();

}  // namespace corvello
