// The input byte stream parser and the input path that feeds the
// application's buffers, on a port record of the test's own.

#include "driver/InputPath.h"
#include "driver/MidiStreamParser.h"
#include "tests/driver/DriverHarness.h"

#include <cstring>

namespace corvello::test {
namespace {

using Results = std::vector<std::uint32_t>;

Results parseAll(const Bytes& bytes)
{
    MidiStreamParser parser;
    Results results;
    for (std::uint8_t b : bytes)
        results.push_back(parser.parse(b));
    return results;
}

TEST(MidiStreamParser, FollowsTheStreamByteByByte)
{
    const struct {
        const char* what;
        Bytes bytes;
        Results results;
    } cases[] = {
        {"note, then running status", {0x90, 0x3C, 0x7F, 0x3D, 0x00}, {0, 0, 0x7F3C90, 0, 0x003D90}},
        {"two-byte running status", {0xC5, 0x10, 0x11}, {0, 0x10C5, 0x11C5}},
        {"data before any status is dropped", {0x3C, 0x7F, 0x90}, {0, 0, 0}},
        {"system common becomes running status", {0xF2, 0x01, 0x02, 0xF1, 0x05}, {0, 0, 0x0201F2, 0, 0x05F1}},
        {"a status byte discards a half message", {0x90, 0x3C, 0xB0, 0x07, 0x64}, {0, 0, 0, 0, 0x6407B0}},
        {"end of exclusive outside one", {0xF7, 0x90, 0x01, 0x02}, {0, 0, 0, 0x020190}},
        {"system exclusive", {0xF0, 0x7E, 0x7F, 0xF7}, {0xF0, 0xF0, 0xF0, 0xF7}},
        {"real time inside system exclusive", {0xF0, 0x01, 0xF8, 0x02, 0xF7}, {0xF0, 0xF0, 0xF8, 0xF0, 0xF7}},
        {"a status byte ends system exclusive and starts its message",
         {0xF0, 0x01, 0x90, 0x3C, 0x7F}, {0xF0, 0xF0, 0xF7, 0, 0x7F3C90}},
        {"a new start inside system exclusive", {0xF0, 0x01, 0xF0, 0x02, 0xF7}, {0xF0, 0xF0, 0xF7, 0xF0, 0xF7}},
        {"undefined and tune request pass through", {0xF4, 0xF6, 0xFD}, {0xF4, 0xF6, 0xFD}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseAll(c.bytes), c.results) << c.what;
}

// A port whose input device is open with the log's callback.
class InputPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        descriptor.callback = reinterpret_cast<DWORD_PTR>(&NotificationLog::callback);
        descriptor.instance = reinterpret_cast<DWORD_PTR>(&notifications);
        descriptor.callbackKind = CALLBACK_FUNCTION >> 16;
        record.input.queue.open();
        record.input.attach(&descriptor);
    }

    MIDIHDR* queueBuffer(std::size_t size)
    {
        buffers.emplace_back(size + 4, 0xEE);  // 4 guard bytes past the buffer
        headers.push_back(std::make_unique<MIDIHDR>());
        MIDIHDR& h = *headers.back();
        h.lpData = reinterpret_cast<char*>(buffers.back().data());
        h.dwBufferLength = static_cast<DWORD>(size);
        h.dwFlags = MHDR_PREPARED | MHDR_DONE;
        record.input.queue.add(&h);
        return &h;
    }

    void receive(const Bytes& bytes) { runInputPath(record, bytes.data(), bytes.size()); }

    Notification next()
    {
        auto n = notifications.next(0ms);
        return n ? *n : Notification{0, 0, 0, 0, {}, 0};
    }

    PortRecord record;
    OpenDescriptor descriptor;
    NotificationLog notifications;
    std::deque<Bytes> buffers;
    std::vector<std::unique_ptr<MIDIHDR>> headers;
};

TEST_F(InputPath, FillsBuffersWithoutPassingTheirEnd)
{
    MIDIHDR* first = queueBuffer(4);
    EXPECT_EQ(first->dwFlags, MHDR_PREPARED | MHDR_INQUEUE);
    EXPECT_EQ(buffers[0][0], 0) << "a queued buffer is emptied";
    queueBuffer(4);
    receive({0xF0, 0x7E, 0x7F});
    receive({0x06, 0x01, 0xF7});

    const Notification a = next();
    EXPECT_EQ(a.message, MIM_LONGDATA);
    EXPECT_EQ(a.longData, (Bytes{0xF0, 0x7E, 0x7F, 0x06}));
    EXPECT_EQ(a.flags, MHDR_PREPARED | MHDR_DONE);
    EXPECT_EQ(next().longData, (Bytes{0x01, 0xF7}));
    for (const Bytes& buffer : buffers)
        EXPECT_EQ(Bytes(buffer.end() - 4, buffer.end()), Bytes(4, 0xEE)) << "written past a buffer";
}

TEST_F(InputPath, NeverTouchesAHeaderItHandedBack)
{
    MIDIHDR* only = queueBuffer(2);
    receive({0xF0, 0x01});
    EXPECT_EQ(next().message, MIM_LONGDATA);
    const MIDIHDR returned = *only;
    receive({0x02, 0x03, 0xF7, 0x90, 0x3C, 0x7F});  // no buffer: dropped
    EXPECT_EQ(std::memcmp(&returned, only, sizeof returned), 0);
    EXPECT_EQ(next().param1, 0x7F3C90u);
}

TEST_F(InputPath, AClosedPortNotifiesNothingAndForgetsItsBuffers)
{
    MIDIHDR* queued = queueBuffer(8);
    record.input.queue.clear();
    EXPECT_EQ(queued->dwFlags & MHDR_INQUEUE, 0u) << "a forgotten buffer may be unprepared";
    record.input.detach();
    receive({0x90, 0x3C, 0x7F, 0xF0, 0x01, 0xF7});
    EXPECT_FALSE(notifications.next(0ms));
}

}  // namespace
}  // namespace corvello::test
