#include "virtmidi/virtmidiprotocol.h"

#include <cstdio>
#include <cstring>

namespace corvello {

std::string virtMidiPipeName(std::uint32_t sessionId, std::string_view portName)
{
    char buffer[virtMidiPathBufferSize];
    const std::string name(portName);
    std::snprintf(buffer, sizeof buffer, virtMidiPipeNameFormat, virtMidiGuid,
                  static_cast<unsigned long>(sessionId), name.c_str());
    return buffer;
}

namespace {
std::size_t boundedNameLength(const char* name)
{
    const std::size_t n = strnlen(name, virtMidiPortNameBound);
    return n >= virtMidiPortNameBound ? 0 : n;
}
}  // namespace

std::string virtMidiEncodePortList(const char* const* portNames)
{
    std::string list;
    for (const char* const* p = portNames; p != nullptr && *p != nullptr; ++p) {
        list.append(*p, boundedNameLength(*p));
        list.push_back('\0');
    }
    list.push_back('\0');
    return list;
}

std::vector<std::string> virtMidiDecodePortList(const char* data, std::size_t size)
{
    std::vector<std::string> names;
    std::size_t pos = 0;
    while (pos < size) {
        const void* end = std::memchr(data + pos, '\0', size - pos);
        const std::size_t len = end ? static_cast<const char*>(end) - (data + pos) : size - pos;
        if (len == 0)
            break;
        names.emplace_back(data + pos, len);
        pos += len + 1;
    }
    return names;
}

}  // namespace corvello
