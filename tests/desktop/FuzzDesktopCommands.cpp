// Arbitrary desktop commands from the remote, against a fake desktop with
// windows on and off the screen and handles beyond 2^24. What must hold
// after every command: only desktop records are answered, pointer events
// stay within the desktop, no window is captured that the remote was not
// given (by a window list or the desktop notice), and picture batches close.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "FakeDesktop.h"
#include "RecordingQueue.h"
#include "desktop/DesktopController.h"

namespace {

using namespace corvello;
using namespace corvello::test;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "desktop fuzzer: %s\n", what);
        std::abort();
    }
}

// Reads the input front to back; past its end everything reads as zero.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    bool done() const { return at >= size; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    float number()
    {
        // Mostly values that mean something (pids, ids, the desktop), sometimes any bit pattern.
        static const float meaningful[] = {0, 1, 2, 3, 4, 5, 7, -2, -1, 20, 21, 1e30f, -1e30f, 16777217.0f};
        const std::uint8_t choice = byte();
        if (choice < 200)
            return meaningful[choice % std::size(meaningful)];
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits = bits << 8 | byte();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::string text()
    {
        const std::size_t length = byte() % 160;
        std::string out;
        while (out.size() < length && !done())
            out.push_back(static_cast<char>(byte()));
        return out;
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

struct World {
    World()
    {
        desktop.addProcess(5, "Editor");
        desktop.addProcess(6, "explorer");
        // Small, so that each input runs fast; command 11 can shrink the capture limits below them.
        desktop.addWindow(0x3000001, 5, {-50, -20, 100, 60});   // partly off the screen
        desktop.addWindow(0x3000003, 5, {150, 100, 330, 260});  // partly beyond the other edge
        desktop.addWindow(7, 5, {10, 10, 60, 60});
        desktop.addWindow(0x3000002, 6, {0, 0, 90, 90}).info.popup = true;
        desktop.addWindow(0x3000004, 6, {0, 0, 90, 90});
        desktop.foreground = 0x3000001;
        desktop.paint({0, 0, 200, 150}, [](std::int32_t x, std::int32_t y) { return std::uint32_t(x * 31 + y * 17); });
        controller.setHost(1, &queue);
    }

    FakeDesktop desktop{{200, 150}};
    DesktopSettings settings;
    RecordingQueue queue;
    DesktopController controller{desktop, settings};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    World world;
    Input input(data, size);
    std::set<WindowHandle> given;  // what the remote was told about
    std::size_t checkedCaptures = 0, checkedThumbnails = 0, checkedRecords = 0, checkedMouse = 0;
    for (int commands = 0; !input.done() && commands < 64; ++commands) {
        const auto index = static_cast<std::int32_t>(input.byte() % 19) - 1;
        const float value = input.number();
        world.controller.receive({kDesktopKind, index, value, input.text(), 0});

        auto& desktop = world.desktop;
        for (; checkedThumbnails < desktop.thumbnails.size(); ++checkedThumbnails)
            given.insert(desktop.thumbnails[checkedThumbnails]);  // a thumbnail is taken of each listed window
        for (; checkedRecords < world.queue.records.size(); ++checkedRecords) {
            const MessageRecord& record = world.queue.records[checkedRecords];
            require(record.kind == kDesktopKind, "a reply that is not a desktop record");
            if (record.index == kDesktopReply)
                given.insert(FakeDesktop::kRoot);
        }
        for (; checkedCaptures < desktop.captures.size(); ++checkedCaptures)
            require(given.count(desktop.captures[checkedCaptures].window) == 1, "a window captured that was not given");
        for (; checkedMouse < desktop.mouse.size(); ++checkedMouse) {
            const MouseEvent& event = desktop.mouse[checkedMouse];
            require(event.x >= 0 && event.x <= 65535 && event.y >= 0 && event.y <= 65535,
                    "a pointer event off the desktop");
        }
        require(world.queue.batchesBegun == world.queue.batchesEnded, "a picture batch left open");
    }
    return 0;
}
