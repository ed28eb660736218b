#pragma once
// An outgoing queue that keeps what it is given, batch marks included.

#include <string>
#include <vector>

#include "core/RemoteQueue.h"
#include "desktop/LittleEndian.h"

namespace corvello::test {

class RecordingQueue final : public RemoteQueue {
public:
    void send(const MessageRecord& record) override { records.push_back(record); }
    void beginBatch() override { ++batchesBegun; }
    void endBatch() override { ++batchesEnded; }

    std::vector<std::string> texts(std::int32_t index) const
    {
        std::vector<std::string> found;
        for (const auto& r : records)
            if (r.index == index)
                found.push_back(r.text);
        return found;
    }

    std::vector<MessageRecord> records;
    int batchesBegun = 0;
    int batchesEnded = 0;
};

// The ids of the windows in the last window list (reply 5), in list order.
inline std::vector<std::int32_t> listedWindowIds(const RecordingQueue& queue)
{
    const auto lists = queue.texts(5);
    std::vector<std::int32_t> ids;
    if (lists.empty())
        return ids;
    const std::string& text = lists.back();
    for (std::size_t line = 0; line < text.size(); line = text.find('\n', line) + 1) {
        ids.push_back(std::stoi(text.substr(line)));
        if (text.find('\n', line) == std::string::npos)
            break;
    }
    return ids;
}

// The little-endian 32-bit integer at a byte offset of a record's text.
inline std::int32_t intAtByte(const std::string& text, std::size_t offset)
{
    return static_cast<std::int32_t>(loadLE32(reinterpret_cast<const std::uint8_t*>(text.data()) + offset));
}

// The i-th little-endian 32-bit integer of a picture record's text.
inline std::int32_t intAt(const std::string& text, std::size_t i)
{
    return intAtByte(text, i * 4);
}

}  // namespace corvello::test
