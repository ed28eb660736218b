#pragma once
// The published port list: HKCU\SOFTWARE\<GUID> (volatile key, default value,
// REG_MULTI_SZ) on Windows, the file R/G/ports on POSIX. Both hold the bytes
// of virtMidiEncodePortList.

#include <string>
#include <vector>

namespace corvello {

// Replaces whatever an earlier server left (on POSIX: empties R/G, stale
// sockets included) and publishes `encodedList`. Failures only reach the
// debugger output: the ports are served all the same.
void virtMidiPublishPortList(const std::string& encodedList);

// The published names in port order; empty when nothing readable is published.
std::vector<std::string> virtMidiReadPortList();

}  // namespace corvello
