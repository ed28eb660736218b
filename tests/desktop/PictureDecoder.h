#pragma once
// The remote's side of the picture stream, written from the record formats:
// rebuilds thumbnails and the watched window from full images and tiles, and
// checks offsets and lengths on the way.

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "RecordingQueue.h"
#include "desktop/DesktopServices.h"
#include "desktop/ImageRecords.h"

namespace corvello::test {

struct Picture {
    PixelSize size;
    std::vector<std::uint32_t> pixels;  // top row first
    std::uint32_t at(std::int32_t x, std::int32_t y) const { return pixels[std::size_t(y) * size.width + x]; }
};

class PictureDecoder {
public:
    void feed(const std::vector<MessageRecord>& records)
    {
        for (const auto& r : records)
            feed(r);
    }

    void feed(const MessageRecord& record)
    {
        switch (record.index) {
        case kRawImageIndex:
        case kCompressedImageIndex:
            feedImage(record);
            break;
        case kRawTileIndex:
        case kCompressedTileIndex:
            feedTile(record);
            break;
        default:
            break;
        }
    }

    std::map<std::int32_t, Picture> images;  // by image index; -1 is the watched window
    std::vector<std::int32_t> frameEnds;     // -1 when tiles came, -2 when none
    int tilesApplied = 0;

private:
    struct Transfer {
        bool compressed = false;
        std::int32_t imageIndex = 0;
        std::int32_t nextOffset = 0;
        std::int32_t declaredLength = -1;
        std::int32_t x0 = 0, y0 = 0;
        PixelSize size;
        std::string payload;
    };

    static std::string bytesFrom(const std::string& text, std::size_t ints) { return text.substr(ints * 4); }

    void feedImage(const MessageRecord& r)
    {
        const std::int32_t first = intAt(r.text, 0);
        if (first == 0) {
            image = Transfer{r.index == kCompressedImageIndex, intAt(r.text, 2), intAt(r.text, 1), -1, 0, 0,
                             {intAt(r.text, 3), intAt(r.text, 4)}, {}};
            if (image->compressed)
                image->declaredLength = intAt(r.text, 5);
        } else if (first == -1 && image) {
            EXPECT_EQ(intAt(r.text, 2), image->imageIndex);
            finishImage();
        } else if (first < 0) {
            frameEnds.push_back(first);
        } else {
            ASSERT_TRUE(image);
            appendChunk(*image, r.text, 3);
            EXPECT_EQ(intAt(r.text, 2), image->imageIndex);
        }
    }

    void feedTile(const MessageRecord& r)
    {
        const std::int32_t first = intAt(r.text, 0);
        if (first == 0) {
            tile = Transfer{r.index == kCompressedTileIndex, -1, intAt(r.text, 1), -1, intAt(r.text, 2),
                            intAt(r.text, 3), {intAt(r.text, 4), intAt(r.text, 5)}, {}};
            if (tile->compressed)
                tile->declaredLength = intAt(r.text, 6);
        } else if (first == -1) {
            ASSERT_TRUE(tile);
            applyTile();
        } else {
            ASSERT_TRUE(tile);
            appendChunk(*tile, r.text, 2);
        }
    }

    static void appendChunk(Transfer& t, const std::string& text, std::size_t headerInts)
    {
        EXPECT_EQ(intAt(text, 0), t.nextOffset);
        const std::string bytes = bytesFrom(text, headerInts);
        EXPECT_EQ(intAt(text, 1), static_cast<std::int32_t>(bytes.size()));
        EXPECT_LE(bytes.size(), kImageChunkSize);
        t.payload += bytes;
        t.nextOffset += static_cast<std::int32_t>(bytes.size());
    }

    static std::string inflate(const Transfer& t, std::size_t expected)
    {
        if (!t.compressed)
            return t.payload;
        EXPECT_EQ(t.declaredLength, static_cast<std::int32_t>(t.payload.size()));
        std::string out(expected, '\0');
        uLongf length = expected;
        EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                             reinterpret_cast<const Bytef*>(t.payload.data()), t.payload.size()),
                  Z_OK);
        EXPECT_EQ(length, expected);
        return out;
    }

    void finishImage()
    {
        const PixelSize size = image->size;
        const std::size_t pixelBytes = std::size_t(size.width) * size.height * 4;
        const std::string file = inflate(*image, 54 + pixelBytes);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(intAtByte(file, 2), static_cast<std::int32_t>(54 + pixelBytes));  // file size
        EXPECT_EQ(intAtByte(file, 18), size.width);
        EXPECT_EQ(intAtByte(file, 22), size.height);
        Picture picture{size, std::vector<std::uint32_t>(std::size_t(size.width) * size.height)};
        for (std::size_t i = 0; i < picture.pixels.size(); ++i)
            picture.pixels[i] = static_cast<std::uint32_t>(intAtByte(file, 54 + i * 4));
        images[image->imageIndex] = std::move(picture);
        image.reset();
    }

    void applyTile()
    {
        Picture& watched = images.at(kWatchedImage);
        const std::string differences = inflate(*tile, std::size_t(tile->size.width) * tile->size.height * 4);
        std::size_t i = 0;
        for (std::int32_t y = tile->y0; y < tile->y0 + tile->size.height; ++y)
            for (std::int32_t x = tile->x0; x < tile->x0 + tile->size.width; ++x)
                watched.pixels[std::size_t(y) * watched.size.width + x] += static_cast<std::uint32_t>(intAt(differences, i++));
        ++tilesApplied;
        tile.reset();
    }

    std::optional<Transfer> image;
    std::optional<Transfer> tile;
};

}  // namespace corvello::test
