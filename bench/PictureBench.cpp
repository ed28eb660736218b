// Figures for window pictures, under an Xvfb this program starts itself
// (the tests' XvfbServer: -displayfd, stopped by PID), on an 819 x 609
// window drawn like a mixer:
//   1. zlib's bytes and time per level on that frame (the level is chosen from these);
//   2. CPU per frame of Corvello's picture path, in this process: a change
//      frame of an unchanged window, one with a meter moved, a full frame;
//   3. the floor: the same capture, comparison and compression done with
//      bare Xlib (shared memory) and zlib calls, no record path;
//   4. request to frame end through a running corvello (started on that
//      display, stopped by PID), from a remote on its TCP link.
// Prints p50/p90/p99/max; asserts nothing.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "desktop/BitmapFile.h"
#include "desktop/DesktopController.h"
#include "desktop/ImageCompression.h"
#include "desktop/LittleEndian.h"
#include "link/RemoteLink.h"
#include "tests/desktop/XvfbServer.h"
#include "tests/support/ChildProcess.h"

namespace corvello {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kWidth = 819, kHeight = 609;
int frames = 300;  // per figure; the first argument changes it

double threadCpuMicroseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

double wallMicroseconds()
{
    return std::chrono::duration<double, std::micro>(Clock::now().time_since_epoch()).count();
}

struct Figures {
    std::vector<double> values;
    void add(double v) { values.push_back(v); }
    double at(double p)
    {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[static_cast<std::size_t>(p * (values.size() - 1))];
    }
    void print(const char* what)
    {
        std::printf("  %-44s p50 %8.1f  p90 %8.1f  p99 %8.1f  max %8.1f\n", what, at(0.5), at(0.9), at(0.99),
                    at(1.0));
    }
};

// A window drawn like a mixer: gradient strips, labels, faders and meters.
class BenchWindow {
public:
    explicit BenchWindow(Display* d) : d(d)
    {
        const long pid = getpid();
        window = XCreateSimpleWindow(d, DefaultRootWindow(d), 40, 30, kWidth, kHeight, 0, 0, 0x303234);
        XChangeProperty(d, window, XInternAtom(d, "_NET_WM_PID", False), XInternAtom(d, "CARDINAL", False), 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        XSelectInput(d, window, ExposureMask);
        XMapWindow(d, window);
        XEvent event;
        do
            XNextEvent(d, &event);
        while (event.type != Expose);
        gc = XCreateGC(d, window, 0, nullptr);
        draw();
        XSetInputFocus(d, window, RevertToParent, CurrentTime);
        XSync(d, False);
    }
    ~BenchWindow() { XFreeGC(d, gc); }

    void draw()
    {
        for (int strip = 0; strip < 16; ++strip) {
            const int x = 8 + strip * 50;
            for (int y = 0; y < kHeight; y += 3) {
                fill(x, y, 46, 3, 0x202020 + ((y * 40 / kHeight) * 0x010101) + strip * 0x030102);
            }
            fill(x + 4, 20, 38, 14, 0x5080C0);
            XSetForeground(d, gc, 0xF0F0F0);
            const std::string label = "Track " + std::to_string(strip + 1);
            XDrawString(d, window, gc, x + 6, 31, label.c_str(), static_cast<int>(label.size()));
            fill(x + 20, 60, 6, 420, 0x101010);   // fader slot
            fill(x + 10, 60 + strip * 23, 26, 14, 0xB0B0B0);  // fader cap
            meter(strip, 200 + strip * 11);
            for (int knob = 0; knob < 3; ++knob)
                XFillArc(d, window, gc, x + 8 + knob * 12, 500, 10, 10, 0, 360 * 64);
        }
        XSync(d, False);
    }

    // A meter moves: what a change frame usually carries.
    void meter(int strip, int level)
    {
        const int x = 8 + strip * 50 + 38;
        fill(x, 60, 5, 420, 0x000000);
        fill(x, 60 + 420 - level, 5, level, level > 350 ? 0xE04020 : 0x30D050);
        XSync(d, False);
    }

    Window window = 0;

private:
    void fill(int x, int y, int w, int h, unsigned long colour)
    {
        XSetForeground(d, gc, colour);
        XFillRectangle(d, window, gc, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
    }

    Display* d;
    GC gc = nullptr;
};

// Collects what the controller sends; counts bytes, keeps the window list.
class CountingQueue final : public RemoteQueue {
public:
    void send(const MessageRecord& record) override
    {
        bytes += record.text.size();
        if (record.index == kWindowListReply)
            windowList = record.text;
    }
    std::size_t bytes = 0;
    std::string windowList;
};

struct RawCapture {
    Display* d;
    XShmSegmentInfo segment{};
    XImage* image = nullptr;

    explicit RawCapture(Display* display) : d(display)
    {
        image = XShmCreateImage(d, DefaultVisual(d, 0), DefaultDepth(d, 0), ZPixmap, nullptr, &segment, kWidth,
                                kHeight);
        segment.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image->bytes_per_line) * kHeight, IPC_CREAT | 0600);
        segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
        XShmAttach(d, &segment);
        XSync(d, False);
        shmctl(segment.shmid, IPC_RMID, nullptr);
    }
    ~RawCapture()
    {
        XShmDetach(d, &segment);
        image->data = nullptr;
        XDestroyImage(image);
        shmdt(segment.shmaddr);
    }
    void grab() { XShmGetImage(d, DefaultRootWindow(d), image, 40, 30, AllPlanes); }
    std::span<const std::uint8_t> bytes() const
    {
        return {reinterpret_cast<const std::uint8_t*>(image->data), std::size_t(kWidth) * kHeight * 4};
    }
};

void zlibLevels(RawCapture& raw)
{
    raw.grab();
    std::vector<std::uint8_t> buffer(kBitmapHeadersSize + raw.bytes().size() + 8);
    std::memcpy(startBitmapFile(buffer, {kWidth, kHeight})->data(), raw.bytes().data(), raw.bytes().size());
    const auto file = bitmapFileBytes(buffer, {kWidth, kHeight});
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(file.size())));
    std::printf("zlib on the bench frame (%d x %d, %zu bytes), median of 15:\n", kWidth, kHeight, file.size());
    for (int level = 0; level <= 9; ++level) {
        ImageCompressor zlib(level);
        Figures times;
        std::size_t size = 0;
        for (int i = 0; i < 15; ++i) {
            const double start = threadCpuMicroseconds();
            const auto packed = zlib.compress(file, out);
            times.add(threadCpuMicroseconds() - start);
            size = packed ? packed->size() : 0;
        }
        std::printf("  level %d: %8zu bytes  %8.0f us%s\n", level, size, times.at(0.5),
                    level == kPictureCompressionLevel ? "  <- chosen" : "");
    }
}

void measureFloor(RawCapture& raw, Figures& change, Figures& full, Figures& captureOnly)
{
    std::vector<std::uint8_t> previous(raw.bytes().size());
    std::vector<std::uint8_t> out(compressBound(static_cast<uLong>(previous.size())));
    for (int i = 0; i < frames; ++i) {
        double start = threadCpuMicroseconds();
        raw.grab();
        captureOnly.add(threadCpuMicroseconds() - start);
        start = threadCpuMicroseconds();
        raw.grab();
        const bool same = std::memcmp(raw.bytes().data(), previous.data(), previous.size()) == 0;
        change.add(threadCpuMicroseconds() - start);
        if (!same)
            std::memcpy(previous.data(), raw.bytes().data(), previous.size());
        start = threadCpuMicroseconds();
        raw.grab();
        uLongf length = static_cast<uLongf>(out.size());
        compress2(out.data(), &length, raw.bytes().data(), static_cast<uLong>(raw.bytes().size()),
                  kPictureCompressionLevel);
        full.add(threadCpuMicroseconds() - start);
    }
}

std::string firstId(const std::string& windowList)
{
    return windowList.substr(0, windowList.find(','));
}

void inProcess(BenchWindow& window, Figures& unchanged, Figures& meter, Figures& full, std::size_t& fullBytes)
{
    DesktopController controller(platformDesktopServices(), desktopSettings());
    CountingQueue queue;
    controller.setHost(1, &queue);
    controller.receive(MessageRecord::number(kDesktopKind, kListProcessesCommand, 0));
    controller.receive(MessageRecord::number(kDesktopKind, kSelectProcessCommand, static_cast<float>(getpid())));
    controller.receive(MessageRecord::number(kDesktopKind, kListWindowsCommand, 1));
    const std::string id = firstId(queue.windowList);
    const auto request = [&](std::int32_t command) {
        const double start = threadCpuMicroseconds();
        controller.receive(MessageRecord::withText(kDesktopKind, command, id));
        return threadCpuMicroseconds() - start;
    };
    request(kFullImageCommand);
    for (int i = 0; i < frames; ++i) {
        unchanged.add(request(kImageChangesCommand));
        window.meter(i % 16, 100 + (i * 37) % 300);
        meter.add(request(kImageChangesCommand));
        queue.bytes = 0;
        full.add(request(kFullImageCommand));
        fullBytes = queue.bytes;
    }
}

// Where a change frame's CPU goes: the desktop queries it makes, one by one.
void queries(BenchWindow& window)
{
    DesktopServices& services = platformDesktopServices();
    const auto handle = static_cast<WindowHandle>(window.window);
    Figures front, rect, picture;
    for (int i = 0; i < frames; ++i) {
        double start = threadCpuMicroseconds();
        services.foregroundWindow();
        front.add(threadCpuMicroseconds() - start);
        start = threadCpuMicroseconds();
        const auto area = services.windowRect(handle);
        rect.add(threadCpuMicroseconds() - start);
        start = threadCpuMicroseconds();
        if (area)
            services.captureWindow(handle, *area);
        picture.add(threadCpuMicroseconds() - start);
    }
    front.print("  of which: the window in front");
    rect.print("  of which: the window's rectangle");
    picture.print("  of which: the capture");
}

// Stamps the end of each picture the remote receives.
class FrameWatcher : public RemoteFilter {
public:
    int receive(const MessageRecord& record) override
    {
        if (record.kind != kDesktopKind)
            return 1;
        if (record.index == kWindowListReply) {
            windowList = record.text;
            listed = true;
        }
        const bool ends = record.text.size() == 12 && intAt(record.text, 0) < 0 && intAt(record.text, 2) == -1;
        if (ends && (record.index == 19 || record.index == 21)) {
            endedAt = wallMicroseconds();
            ended = true;
        }
        return 1;
    }
    bool peerConnected(std::uint32_t, std::uint32_t) override { return false; }
    void peerDisconnected(std::intptr_t, std::int32_t) override {}

    static std::int32_t intAt(const std::string& text, std::size_t i)
    {
        return static_cast<std::int32_t>(loadLE32(reinterpret_cast<const std::uint8_t*>(text.data()) + i * 4));
    }

    std::atomic<bool> listed{false};
    std::atomic<bool> ended{false};
    std::atomic<double> endedAt{0};
    std::string windowList;
};

bool waitFor(const std::atomic<bool>& flag, std::chrono::milliseconds timeout)
{
    const auto until = Clock::now() + timeout;
    while (!flag && Clock::now() < until)
        std::this_thread::yield();
    return flag;
}

void throughCorvello(const std::string& display, BenchWindow& window, Figures& change, Figures& full)
{
    char pattern[] = "/tmp/corvello-picture-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return;
    const std::string runtime = pattern;
    {
        test::ChildProcess corvello({CORVELLO_BIN}, {"DISPLAY=" + display, "XDG_RUNTIME_DIR=" + runtime,
                                                      "AVAHI_COMPAT_NOWARN=1"});
        const auto line = corvello.waitForErrorLine("listening for the remote on TCP port", 10s);
        if (!line) {
            std::printf("  corvello did not start\n");
            return;
        }
        FrameWatcher watcher;
        RemoteLink node(false);
        node.addFilter(&watcher);
        node.connectTo("127.0.0.1", static_cast<std::uint16_t>(std::stoi(line->substr(line->rfind(' ') + 1))));
        const auto until = Clock::now() + 5s;
        while (!node.isConnected() && Clock::now() < until)
            std::this_thread::sleep_for(1ms);
        if (!node.isConnected()) {
            std::printf("  no link to corvello\n");
            return;
        }
        node.sendMain(MessageRecord::number(kHostSelectionKind, 1, 1.0f));
        std::this_thread::sleep_for(100ms);
        node.sendMain(MessageRecord::number(kDesktopKind, kListProcessesCommand, 0));
        node.sendMain(MessageRecord::number(kDesktopKind, kSelectProcessCommand, static_cast<float>(getpid())));
        node.sendMain(MessageRecord::number(kDesktopKind, kListWindowsCommand, 1));
        if (!waitFor(watcher.listed, 5s)) {
            std::printf("  no window list from corvello\n");
            return;
        }
        const std::string id = firstId(watcher.windowList);
        const auto request = [&](std::int32_t command) {
            watcher.ended = false;
            const double start = wallMicroseconds();
            node.sendMain(MessageRecord::withText(kDesktopKind, command, id));
            return waitFor(watcher.ended, 2s) ? watcher.endedAt - start : 2e6;
        };
        request(kFullImageCommand);
        for (int i = 0; i < frames; ++i) {
            window.meter(i % 16, 100 + (i * 53) % 300);
            change.add(request(kImageChangesCommand));
            std::this_thread::sleep_for(2ms);  // the remote asks after it has drawn
        }
        for (int i = 0; i < frames / 3; ++i) {
            full.add(request(kFullImageCommand));
            std::this_thread::sleep_for(2ms);
        }
        corvello.stop(SIGTERM, 3s);
    }
    std::filesystem::remove_all(runtime);
}

}  // namespace
}  // namespace corvello

int main(int argc, char** argv)
{
    using namespace corvello;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc > 1)
        frames = std::max(3, std::atoi(argv[1]));
    test::XvfbServer xvfb;
    if (!xvfb.running()) {
        std::printf("Xvfb did not start\n");
        return 1;
    }
    setenv("DISPLAY", xvfb.display.c_str(), 1);
    Display* d = XOpenDisplay(xvfb.display.c_str());
    if (!d || !XShmQueryExtension(d)) {
        std::printf("no X display with shared memory\n");
        return 1;
    }
    {
    BenchWindow window(d);
    RawCapture raw(d);
    zlibLevels(raw);

    Figures floorChange, floorFull, floorCapture;
    measureFloor(raw, floorChange, floorFull, floorCapture);
    Figures unchanged, meter, full;
    std::size_t fullBytes = 0;
    inProcess(window, unchanged, meter, full, fullBytes);
    std::printf("CPU per frame, microseconds (%d frames each; full frame %zu bytes of records):\n", frames,
                fullBytes);
    unchanged.print("Corvello: change frame, nothing changed");
    meter.print("Corvello: change frame, one meter moved");
    queries(window);
    full.print("Corvello: full frame");
    floorCapture.print("floor: shared-memory capture alone");
    floorChange.print("floor: capture + compare, nothing changed");
    floorFull.print("floor: capture + compress");

    Figures change, whole;
    throughCorvello(xvfb.display, window, change, whole);
    std::printf("request to frame end through corvello, microseconds:\n");
    change.print("change frame (one meter moved)");
    whole.print("full frame");
    floorChange.print("floor: capture + compare (CPU, in process)");
    floorFull.print("floor: capture + compress (CPU, in process)");
    }
    XCloseDisplay(d);
}
