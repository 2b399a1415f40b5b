#include "preview/modFileTGA.h"
#include "tests/support/PictureBuilders.h"
#include "tests/support/ArchiveWriter.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using testing::Bytes;
using testing::TgaPlan;

const Bytes kRed = {0, 0, 255}, kGreen = {0, 255, 0}, kBlue = {255, 0, 0}, kWhite = {255, 255, 255};

// File rows bottom up: red, green / blue, white.
TgaPlan twoByTwo() {
    TgaPlan plan;
    plan.width = 2;
    plan.height = 2;
    plan.pixels = testing::concat({kRed, kGreen, kBlue, kWhite});
    return plan;
}

PreviewImage decodeOk(const Bytes& file) {
    return testing::expectDecoded(decodeTGA, file);
}

void expectRefused(const Bytes& file, const std::string& why = {}) {
    testing::expectRefused(decodeTGA, file, why);
}

TEST(TgaReader, ReadsBottomUpRowsFromDisk) {
    testing::TempDir dir;
    PreviewImage image = testing::sentinelImage();
    ASSERT_TRUE(loadTGA(dir.write("pic.tmp", testing::buildTga(twoByTwo())), image));
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bitsPerPixel, 24);
    EXPECT_TRUE(image.palette.empty());
    EXPECT_EQ(image.pixels, testing::concat({kBlue, kWhite, kRed, kGreen}));
}

TEST(TgaReader, OddWidthRowsHaveNoPadding) {
    TgaPlan plan;
    plan.width = 3;
    plan.height = 2;
    for (uint8_t i = 0; i < 18; ++i) plan.pixels.push_back(i);
    const PreviewImage image = decodeOk(testing::buildTga(plan));
    ASSERT_EQ(image.pixels.size(), 18u);
    // The second stored row is the top row.
    EXPECT_EQ(image.pixels, Bytes({9, 10, 11, 12, 13, 14, 15, 16, 17, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(TgaReader, RefusesOtherKindsAndDepths) {
    for (uint8_t type : {0, 1, 3, 9, 10, 11}) {
        TgaPlan plan = twoByTwo();
        plan.imageType = type;
        expectRefused(testing::buildTga(plan), "image type");
    }
    for (uint8_t depth : {8, 15, 16, 0, 25, 40, 255}) {
        TgaPlan plan = twoByTwo();
        plan.pixelDepth = depth;
        plan.pixels.resize(32);
        expectRefused(testing::buildTga(plan), "pixel depth");
    }
}

TEST(TgaReader, SkipsImageIdAndColourMap) {
    TgaPlan plan = twoByTwo();
    plan.id = testing::textBytes("made by a test");
    plan.colourMapType = 1;
    plan.colourMapLength = 5;
    plan.colourMapEntrySize = 24;
    EXPECT_EQ(decodeOk(testing::buildTga(plan)).pixels,
              testing::concat({kBlue, kWhite, kRed, kGreen}));
}

TEST(TgaReader, ThirtyTwoBitDropsAlpha) {
    TgaPlan plan = twoByTwo();
    plan.pixelDepth = 32;
    plan.pixels = {0, 0, 255, 1, 0, 255, 0, 2, 255, 0, 0, 3, 255, 255, 255, 4};
    const PreviewImage image = decodeOk(testing::buildTga(plan));
    EXPECT_EQ(image.bitsPerPixel, 24);
    EXPECT_EQ(image.pixels, testing::concat({kBlue, kWhite, kRed, kGreen}));
}

TEST(TgaReader, TopDownFlagKeepsFileOrder) {
    TgaPlan plan = twoByTwo();
    plan.descriptor = 0x20;
    EXPECT_EQ(decodeOk(testing::buildTga(plan)).pixels,
              testing::concat({kRed, kGreen, kBlue, kWhite}));
}

TEST(TgaReader, RefusesBadSizes) {
    for (auto [w, h] : std::vector<std::pair<int16_t, int16_t>>{{0, 2}, {2, 0}, {-2, 2}, {2, -1}}) {
        TgaPlan plan = twoByTwo();
        plan.width = w;
        plan.height = h;
        expectRefused(testing::buildTga(plan), "size");
    }
    TgaPlan wide = twoByTwo();
    wide.width = kMaxPictureSide + 1;
    expectRefused(testing::buildTga(wide), "larger than");
    // Largest accepted sides, but the file holds only four pixels: refused
    // before anything the size of the picture is allocated.
    TgaPlan huge = twoByTwo();
    huge.width = kMaxPictureSide;
    huge.height = kMaxPictureSide;
    expectRefused(testing::buildTga(huge), "truncated");
}

TEST(TgaReader, TruncatedOrChangedFilesAreSafe) {
    TgaPlan plan = twoByTwo();
    plan.id = {1, 2, 3};
    testing::expectEveryPrefixRefused(decodeTGA, testing::buildTga(plan));
    testing::expectByteChangesSafe(decodeTGA, testing::buildTga(plan));
}

TEST(TgaReader, MissingFileIsNotRead) {
    testing::TempDir dir;
    PreviewImage image = testing::sentinelImage();
    EXPECT_FALSE(loadTGA(dir.path() / "absent.tga", image));
    EXPECT_FALSE(loadTGA(dir.path(), image));
    EXPECT_TRUE(image == testing::sentinelImage());
}

} // namespace
} // namespace sga
