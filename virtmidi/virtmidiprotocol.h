#pragma once
// What the program and the driver share: nothing but these names, formats and
// limits. Compiled into both deliverables.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvello {

inline constexpr char virtMidiGuid[] = "{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}";
// Under HKEY_CURRENT_USER; the default value lists the port names (REG_MULTI_SZ).
inline constexpr char virtMidiKeyPath[] = "SOFTWARE\\{5b3e0c71-2d8a-4f16-9c4e-7a0d13b6e285}";
// GUID, the Windows session id, then the port name: each user session that
// fast user switching keeps running has servers and pipes of its own.
inline constexpr char virtMidiPipeNameFormat[] = "\\\\.\\pipe\\%s\\%lu\\%s";

inline constexpr std::size_t virtMidiPathBufferSize = 260;       // pipe names are cut to 259
inline constexpr std::size_t virtMidiPortNameBound = 260;        // a name reaching it is written empty
inline constexpr std::size_t virtMidiPipeBufferSize = 8192;      // pipe output and input buffers
inline constexpr std::uint32_t virtMidiPipeTimeoutMs = 5000;     // default pipe time-out
inline constexpr std::size_t virtMidiServerReadSize = 4096;      // largest client-to-server message
inline constexpr std::size_t virtMidiClientReadSize = 512;       // largest server-to-client message

// Bytes of a short MIDI message from its first byte; 0 for a data byte and for
// the start of system exclusive, whose length the rule cannot know.
constexpr int midiMessageLength(std::uint8_t firstByte)
{
    if (firstByte < 0x80) return 0;
    if (firstByte < 0xC0) return 3;
    if (firstByte < 0xE0) return 2;
    if (firstByte < 0xF0) return 3;
    switch (firstByte) {
    case 0xF0: return 0;
    case 0xF1: return 2;
    case 0xF2: return 3;
    case 0xF3: return 2;
    default: return 1;
    }
}

// The pipe name of a port in a session, cut to fit the 260-character buffer.
std::string virtMidiPipeName(std::uint32_t sessionId, std::string_view portName);
// The same in this process's session; Windows only (virtmidisession_win.cpp).
std::string virtMidiPipeName(std::string_view portName);

// The published port list: each name and its NUL, then one more NUL. A name
// that reaches the bound is written empty (and so ends the list for readers).
// No list at all encodes as an empty one.
std::string virtMidiEncodePortList(const char* const* portNames);
// The reverse: names up to the first empty one, never reading past `size`.
std::vector<std::string> virtMidiDecodePortList(const char* data, std::size_t size);

}  // namespace corvello
