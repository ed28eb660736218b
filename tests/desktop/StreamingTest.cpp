// Window pictures: record formats, chunking, tiles, and a decoder that
// rebuilds the watched window from what was sent.

#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "PictureDecoder.h"
#include "RecordingQueue.h"
#include "desktop/DesktopController.h"
#include "desktop/ImageStreaming.h"
#include "desktop/PictureSource.h"

namespace corvello::test {
namespace {

constexpr WindowHandle kWatched = 0x2A00017;  // beyond what a float holds exactly

std::uint32_t gradient(std::int32_t x, std::int32_t y)
{
    return static_cast<std::uint32_t>(x * 7 + y * 13) * 0x010203u & 0x00FFFFFFu;
}

MessageRecord imageRequest(std::int32_t index, std::string handle)
{
    return MessageRecord::withText(kDesktopKind, index, std::move(handle));
}

struct StreamingFixture : ::testing::Test {
    StreamingFixture() { controller.setHost(1, &queue); }
    ~StreamingFixture() override { settings.setOrigin({}); }

    // Shows the window and lists it, as the remote does before watching it.
    void watch(WindowRect rect)
    {
        desktop.addWindow(kWatched, 5, rect);
        desktop.paint(rect, gradient);
        desktop.addProcess(5, "Editor");
        controller.receive(MessageRecord::number(kDesktopKind, kListProcessesCommand, 0));
        controller.receive(MessageRecord::number(kDesktopKind, kSelectProcessCommand, 5));
        controller.receive(MessageRecord::number(kDesktopKind, kListWindowsCommand, 1));
        const auto ids = listedWindowIds(queue);
        ASSERT_EQ(ids.size(), 1u);
        watched = std::to_string(ids.front());
        desktop.foreground = kWatched;
        queue.records.clear();
    }

    // Pixel (x, y) of the watched window as it is on screen now.
    std::uint32_t onScreen(std::int32_t x, std::int32_t y)
    {
        const WindowRect& r = desktop.windows.front().rect;
        return desktop.pixel(r.left + x, r.top + y);
    }

    void expectDecodedMatchesScreen(const PictureDecoder& decoder)
    {
        const Picture& picture = decoder.images.at(kWatchedImage);
        for (std::int32_t y = 0; y < picture.size.height; ++y)
            for (std::int32_t x = 0; x < picture.size.width; ++x)
                ASSERT_EQ(picture.at(x, y), onScreen(x, y)) << x << "," << y;
    }

    FakeDesktop desktop;
    DesktopSettings settings;
    RecordingQueue queue;
    DesktopController controller{desktop, settings};
    std::string watched;  // the watched window's id
};

TEST(TileGrid, CoversThePictureWithPartialTilesLast)
{
    struct Case {
        PixelSize size;
        std::int32_t columns, rows, lastWidth, lastHeight;
    } cases[] = {{{100, 70}, 2, 2, 36, 6}, {{128, 64}, 2, 1, 64, 64}, {{1, 1}, 1, 1, 1, 1}, {{819, 609}, 13, 10, 51, 33}};
    for (const auto& c : cases) {
        const TileGrid grid(c.size);
        EXPECT_EQ(grid.columns, c.columns);
        EXPECT_EQ(grid.rows, c.rows);
        EXPECT_EQ(grid.lastColumnWidth, c.lastWidth);
        EXPECT_EQ(grid.lastRowHeight, c.lastHeight);
    }
    const TileArea corner = TileGrid({100, 70}).tile(1, 1);
    EXPECT_EQ((std::vector{corner.x0, corner.y0, corner.width, corner.height}), (std::vector{64, 64, 36, 6}));
}

TEST(ImageRecords, CutPayloadsIntoChunksThatFillOneLinkPacket)
{
    RecordingQueue queue;
    const std::vector<std::uint8_t> payload(2009, 0xAB);
    sendImageRecords(queue, {payload, true}, 3, {40, 30});
    ASSERT_EQ(queue.records.size(), 5u);
    for (const auto& r : queue.records)
        EXPECT_EQ(r.index, kCompressedImageIndex);
    const std::string& header = queue.records[0].text;
    EXPECT_EQ((std::vector{intAt(header, 0), intAt(header, 1), intAt(header, 2), intAt(header, 3), intAt(header, 4),
                           intAt(header, 5)}),
              (std::vector{0, 12, 3, 40, 30, 2009}));
    const std::int32_t offsets[] = {12, 1016, 2020}, lengths[] = {1004, 1004, 1};
    for (int i = 0; i < 3; ++i) {
        const std::string& data = queue.records[1 + i].text;
        EXPECT_EQ(intAt(data, 0), offsets[i]);
        EXPECT_EQ(intAt(data, 1), lengths[i]);
        EXPECT_EQ(intAt(data, 2), 3);
        EXPECT_EQ(data.size(), 12u + lengths[i]);
    }
    EXPECT_EQ(queue.records[4].text.size(), 12u);
    EXPECT_EQ((std::vector{intAt(queue.records[4].text, 0), intAt(queue.records[4].text, 2)}), (std::vector{-1, 3}));

    // A raw tile has no payload length, its data starts at 16 and carries no image index.
    queue.records.clear();
    sendTileRecords(queue, {std::span(payload).first(1005), false}, {64, 0, 36, 6});
    ASSERT_EQ(queue.records.size(), 4u);
    EXPECT_EQ(queue.records[0].index, kRawTileIndex);
    EXPECT_EQ(queue.records[0].text.size(), 24u);
    EXPECT_EQ(intAt(queue.records[1].text, 0), 16);
    EXPECT_EQ(intAt(queue.records[2].text, 0), 1020);
    EXPECT_EQ(queue.records[2].text.size(), 8u + 1);
    EXPECT_EQ(queue.records[3].text.size(), 4u);
}

TEST_F(StreamingFixture, FullImageThenOnlyTheChangedTiles)
{
    watch({50, 40, 150, 110});  // 100 x 70: 2 x 2 tiles
    controller.receive(imageRequest(kFullImageCommand, watched));
    PictureDecoder decoder;
    decoder.feed(queue.records);
    ASSERT_EQ(decoder.images.at(kWatchedImage).size, (PixelSize{100, 70}));
    expectDecodedMatchesScreen(decoder);

    // Change one pixel in the top-left tile, one further down in the top-right
    // tile (the same band: a row without the first change must still be
    // compared), and a block in the last, partial one.
    desktop.pixel(50 + 3, 40 + 5) = 0x00FF0000;
    desktop.pixel(50 + 70, 40 + 20) = 0x0000FF00;
    desktop.paint({50 + 90, 40 + 66, 50 + 100, 40 + 70}, [](std::int32_t x, std::int32_t) { return std::uint32_t(x); });
    queue.records.clear();
    controller.receive(imageRequest(kImageChangesCommand, watched));
    decoder.feed(queue.records);
    EXPECT_EQ(decoder.tilesApplied, 3);
    EXPECT_EQ(decoder.frameEnds, std::vector<std::int32_t>{-1});
    expectDecodedMatchesScreen(decoder);
    EXPECT_EQ(queue.batchesBegun, queue.batchesEnded);
}

TEST_F(StreamingFixture, AStaticWindowCostsOneFrameEnd)
{
    watch({0, 0, 100, 70});
    controller.receive(imageRequest(kImageChangesCommand, watched));  // first: a full image, then no tiles
    queue.records.clear();
    controller.receive(imageRequest(kImageChangesCommand, watched));
    ASSERT_EQ(queue.records.size(), 1u);
    EXPECT_EQ(queue.records[0].index, kRawImageIndex);
    EXPECT_EQ((std::vector{intAt(queue.records[0].text, 0), intAt(queue.records[0].text, 1),
                           intAt(queue.records[0].text, 2)}),
              (std::vector{-2, 0, -1}));
}

TEST_F(StreamingFixture, ANewSizeOrWindowStartsOverWithAFullImage)
{
    watch({0, 0, 100, 70});
    controller.receive(imageRequest(kImageChangesCommand, watched));
    desktop.windows.front().rect = {0, 0, 120, 70};
    desktop.paint({0, 0, 120, 70}, gradient);
    queue.records.clear();
    controller.receive(imageRequest(kImageChangesCommand, watched));
    PictureDecoder decoder;
    decoder.feed(queue.records);
    ASSERT_EQ(decoder.images.at(kWatchedImage).size, (PixelSize{120, 70}));
    expectDecodedMatchesScreen(decoder);
    EXPECT_EQ(queue.texts(kWindowSizeReply), std::vector<std::string>{"-1,120,70"});
}

TEST_F(StreamingFixture, LargeWindowsAreClippedToTheCaptureLimits)
{
    desktop = FakeDesktop({1600, 1200});
    watch({10, 20, 1010, 720});
    controller.receive(MessageRecord::number(kDesktopKind, kSelectWindowCommand, std::stof(watched)));
    controller.receive(MessageRecord::withText(kDesktopKind, kSetDesktopOriginCommand, "10,20"));
    controller.receive(imageRequest(kFullImageCommand, watched));
    EXPECT_EQ(desktop.captures.back().area.left, 0);
    EXPECT_EQ(desktop.captures.back().area.top, 0);
    PictureDecoder decoder;
    decoder.feed(queue.records);
    EXPECT_EQ(decoder.images.at(kWatchedImage).size, (PixelSize{819, 609}));
    // The full window size is what the remote is told.
    EXPECT_EQ(queue.texts(kWindowSizeReply), std::vector<std::string>{watched + ",1000,700"});
}

TEST_F(StreamingFixture, PicturesLargerThanTheBuffersAreRefused)
{
    desktop = FakeDesktop({2000, 2000});
    watch({0, 0, 2000, 2000});
    struct Case {
        const char* limit;
        bool sent;
    } cases[] = {{"2000,2000", false}, {"816,815", true}, {"816,816", false}, {"-5,10", false}};
    for (const auto& c : cases) {
        queue.records.clear();
        controller.receive(MessageRecord::withText(kDesktopKind, kSetCaptureLimitCommand, c.limit));
        controller.receive(imageRequest(kFullImageCommand, watched));
        controller.receive(imageRequest(kImageChangesCommand, watched));
        PictureDecoder decoder;
        decoder.feed(queue.records);
        EXPECT_EQ(decoder.images.count(kWatchedImage), c.sent ? 1u : 0u) << c.limit;
    }
}

TEST_F(StreamingFixture, AWindowBehindOthersGetsNoImage)
{
    watch({0, 0, 100, 70});
    desktop.addWindow(301, 6, {0, 0, 100, 70});
    desktop.foreground = 301;
    for (const std::string& handle : {watched, std::string("0"), std::string("-7"), std::string("junk"),
                                      std::to_string(kWatched), std::string("301"), std::string("99999")}) {
        queue.records.clear();
        controller.receive(imageRequest(kFullImageCommand, handle));
        ASSERT_GE(queue.records.size(), 1u) << handle;
        EXPECT_EQ(intAt(queue.records[0].text, 0), -2) << handle;
    }
    EXPECT_TRUE(desktop.captures.empty());
}

TEST_F(StreamingFixture, ThumbnailsKeepTheAspectRatio)
{
    struct Case {
        WindowRect rect;
        PixelSize thumbnail;
    } cases[] = {{{0, 0, 300, 100}, {150, 50}}, {{0, 0, 100, 450}, {33, 150}}, {{0, 0, 120, 40}, {120, 40}}};
    for (const auto& c : cases) {
        desktop.windows.clear();
        desktop.addWindow(kWatched, 5, c.rect);
        desktop.paint(c.rect, [](std::int32_t, std::int32_t) { return std::uint32_t{0x00336699}; });
        desktop.addProcess(5, "Editor");
        controller.receive(MessageRecord::number(kDesktopKind, kListProcessesCommand, 0));
        controller.receive(MessageRecord::number(kDesktopKind, kSelectProcessCommand, 5));
        queue.records.clear();
        controller.receive(MessageRecord::number(kDesktopKind, kListWindowsCommand, 1));
        PictureDecoder decoder;
        decoder.feed(queue.records);
        const Picture& thumbnail = decoder.images.at(0);
        EXPECT_EQ(thumbnail.size, c.thumbnail);
        EXPECT_EQ(thumbnail.at(thumbnail.size.width / 2, thumbnail.size.height / 2), 0x00336699u);
    }
}

// On Windows a window draws its own picture only where that matches the
// screen; what Wine cannot show (DPI scaling by the system) is decided here.
TEST(PictureSources, TheWindowDrawsItselfOnlyWhereThatMatchesTheScreen)
{
    struct Case {
        PictureRequest request;
        PictureSource source;
    } cases[] = {
        {{false, true, 96, 96}, PictureSource::window},
        {{false, true, 144, 144}, PictureSource::window},  // per-monitor aware at 150 %
        {{false, true, 96, 144}, PictureSource::screen},   // unaware, stretched by the system
        {{false, true, 144, 96}, PictureSource::screen},   // system-aware, moved to a 100 % monitor
        {{false, false, 96, 96}, PictureSource::screen},   // moved by the desktop origin
        {{true, true, 96, 96}, PictureSource::screen},     // the desktop
    };
    for (const auto& c : cases)
        EXPECT_EQ(pictureSource(c.request), c.source)
            << c.request.isDesktop << c.request.startsAtWindowCorner << c.request.windowDpi << c.request.monitorDpi;
}

}  // namespace
}  // namespace corvello::test
