#pragma once
// The driver's diagnostic texts go here. Nothing is emitted: the driver runs
// inside every MIDI program, where output of its own is unwelcome. The call
// sites keep the texts so a developer can route them while debugging.

namespace corvello {

template <typename... Args>
inline void trace(const char* /*format*/, const Args&... /*args*/)
{
}

}  // namespace corvello
