// libFuzzer target for the link's stream parser: the input arrives in pieces
// of sizes taken from the input itself, as TCP may deliver it, and a malformed
// stream is dropped the way the node drops it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/WireFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::size_t piece = data[0] % 64 + 1;
    std::vector<std::uint8_t> stream;
    std::size_t delivered = 0;
    for (std::size_t at = 1; at < size; at += piece) {
        std::size_t end = at + piece < size ? at + piece : size;
        stream.insert(stream.end(), data + at, data + end);
        auto result = corvello::wire::parseStream(stream, [&](const corvello::MessageRecord& record) {
            delivered += record.text.size() + 1;
        });
        if (result == corvello::wire::ParseResult::Malformed)
            stream.clear();
    }
    return delivered > size * 64 ? 1 : 0;  // keeps the work observable; never true
}
