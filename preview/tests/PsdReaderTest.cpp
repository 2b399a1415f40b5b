#include "preview/modFilePSD.h"
#include "tests/support/PictureBuilders.h"
#include "tests/support/ArchiveWriter.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using testing::Bytes;
using testing::PsdPlan;

PsdPlan rawSpec(int32_t width, int32_t height, uint16_t channels, const Bytes& planes) {
    PsdPlan plan;
    plan.width = width;
    plan.height = height;
    plan.channels = channels;
    plan.imageData = planes;
    return plan;
}

PsdPlan packBitsSpec(int32_t width, int32_t height, uint16_t channels, const Bytes& stream) {
    PsdPlan plan = rawSpec(width, height, channels, {});
    plan.compression = 1;
    plan.imageData = testing::packBitsData(channels, height, stream);
    return plan;
}

// Red 255, 0; green 0, 255; blue 0, 0.
PsdPlan twoByOne() {
    return rawSpec(2, 1, 3, {255, 0, 0, 255, 0, 0});
}

PreviewImage decodeOk(const PsdPlan& plan) {
    return testing::expectDecoded(decodePSD, testing::buildPsd(plan));
}

void expectRefused(const Bytes& file, const std::string& why = {}) {
    testing::expectRefused(decodePSD, file, why);
}
void expectRefused(const PsdPlan& plan, const std::string& why = {}) {
    expectRefused(testing::buildPsd(plan), why);
}

TEST(PsdReader, RawPlanesFromDisk) {
    testing::TempDir dir;
    PreviewImage image = testing::sentinelImage();
    ASSERT_TRUE(loadPSD(dir.write("pic.tmp", testing::buildPsd(twoByOne())), image));
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 1);
    EXPECT_EQ(image.bitsPerPixel, 24);
    EXPECT_TRUE(image.palette.empty());
    EXPECT_EQ(image.pixels, Bytes({0, 0, 255, 0, 255, 0}));
}

TEST(PsdReader, SkipsTheThreeSections) {
    PsdPlan plan = twoByOne();
    plan.colourModeData = Bytes(5, 0xAB);
    plan.imageResources = Bytes(17, 0xAB);
    plan.layerInfo = Bytes(1, 0xAB);
    EXPECT_EQ(decodeOk(plan).pixels, Bytes({0, 0, 255, 0, 255, 0}));
}

TEST(PsdReader, PackBitsHeaderBytes) {
    // Red: 253 repeats 7 four times, 128 does nothing, 2 copies three bytes, 0 copies one.
    const Bytes red = {253, 7, 128, 2, 1, 2, 3, 0, 9};
    const Bytes green = {249, 0x20};
    const Bytes blue = {128, 128, 249, 0x40};
    const PreviewImage image = decodeOk(packBitsSpec(4, 2, 3, testing::concat({red, green, blue})));
    const Bytes reds = {7, 7, 7, 7, 1, 2, 3, 9};
    ASSERT_EQ(image.pixels.size(), 24u);
    for (size_t j = 0; j < 8; ++j) {
        EXPECT_EQ(image.pixels[3 * j], 0x40) << j;
        EXPECT_EQ(image.pixels[3 * j + 1], 0x20) << j;
        EXPECT_EQ(image.pixels[3 * j + 2], reds[j]) << j;
    }
}

TEST(PsdReader, PackBitsRunCrossesRowEnd) {
    // 3 x 2: the five-pixel run fills row 0 and two pixels of row 1.
    const Bytes red = {252, 5, 0, 6};
    const Bytes zeros = {251, 0};
    const PreviewImage image =
        decodeOk(packBitsSpec(3, 2, 3, testing::concat({red, zeros, zeros})));
    EXPECT_EQ(image.pixels, Bytes({0, 0, 5, 0, 0, 5, 0, 0, 5, 0, 0, 5, 0, 0, 5, 0, 0, 6}));
}

TEST(PsdReader, FourthPlaneIsAlphaAndLaterPlanesAreIgnored) {
    const Bytes planes = {10, 11, 20, 21, 30, 31, 40, 41};
    const Bytes expected = {30, 20, 10, 31, 21, 11};
    EXPECT_EQ(decodeOk(rawSpec(2, 1, 4, planes)).pixels, expected);
    // Five and sixteen channels: only four planes are read, so none more are needed.
    EXPECT_EQ(decodeOk(rawSpec(2, 1, 5, planes)).pixels, expected);
    EXPECT_EQ(decodeOk(rawSpec(2, 1, 16, planes)).pixels, expected);
    // Three channels need exactly three planes.
    EXPECT_EQ(decodeOk(rawSpec(2, 1, 3, Bytes(planes.begin(), planes.begin() + 6))).pixels,
              expected);
    expectRefused(rawSpec(2, 1, 3, Bytes(planes.begin(), planes.begin() + 5)), "truncated");
}

TEST(PsdReader, ZeroChannelsGiveBlackPicture) {
    for (uint16_t compression : {0, 1}) {
        PsdPlan plan = rawSpec(3, 2, 0, {});
        plan.compression = compression;
        const PreviewImage image = decodeOk(plan);
        EXPECT_EQ(image.width, 3);
        EXPECT_EQ(image.height, 2);
        EXPECT_EQ(image.pixels, Bytes(18, 0));
    }
    // Nothing stored justifies the memory of a larger picture than a megapixel.
    EXPECT_EQ(decodeOk(rawSpec(1024, 1024, 0, {})).pixels.size(), size_t{3} << 20);
    expectRefused(rawSpec(1025, 1024, 0, {}), "no channels stored");
}

TEST(PsdReader, FewerThanThreeChannelsFillLowOffsets) {
    // One channel: the plane becomes blue.
    EXPECT_EQ(decodeOk(rawSpec(2, 1, 1, {5, 6})).pixels, Bytes({5, 0, 0, 6, 0, 0}));
    EXPECT_EQ(decodeOk(packBitsSpec(2, 1, 1, {1, 5, 6})).pixels, Bytes({5, 0, 0, 6, 0, 0}));
    // Two channels: plane 0 becomes green, plane 1 blue.
    EXPECT_EQ(decodeOk(rawSpec(2, 1, 2, {5, 6, 7, 8})).pixels, Bytes({7, 5, 0, 8, 6, 0}));
    EXPECT_EQ(decodeOk(packBitsSpec(2, 1, 2, {1, 5, 6, 255, 7})).pixels, Bytes({7, 5, 0, 7, 6, 0}));
}

TEST(PsdReader, RefusesOtherKinds) {
    Bytes badSignature = testing::buildPsd(twoByOne());
    badSignature[3] = 'T';
    expectRefused(badSignature, "signature");
    PsdPlan plan = twoByOne();
    plan.version = 2;
    expectRefused(plan, "version");
    for (uint16_t channels : {17, 56, 0x8000, 0xFFFF}) {
        plan = twoByOne();
        plan.channels = channels;
        expectRefused(plan, channels > 32767 ? "out of range" : "channel count");
    }
    for (uint16_t depth : {1, 16, 32}) {
        plan = twoByOne();
        plan.depth = depth;
        expectRefused(plan, "depth");
    }
    for (uint16_t mode : {0, 1, 2, 4, 7, 8, 9}) {
        plan = twoByOne();
        plan.colourMode = mode;
        expectRefused(plan, "colour mode");
    }
    for (uint16_t compression : {2, 3, 0x8001}) {
        plan = twoByOne();
        plan.compression = compression;
        expectRefused(plan, "compression");
    }
}

TEST(PsdReader, RefusesBadSizes) {
    for (auto [w, h] : std::vector<std::pair<int32_t, int32_t>>{
             {0, 1}, {2, 0}, {-2, 1}, {2, INT32_MIN}, {kMaxPictureSide + 1, 1}, {1, 1 << 30}}) {
        PsdPlan plan = twoByOne();
        plan.width = w;
        plan.height = h;
        expectRefused(plan, "size");
    }
    // Accepted sides, but far too little data for them: refused before the
    // planes are allocated, raw and compressed.
    expectRefused(rawSpec(kMaxPictureSide, kMaxPictureSide, 3, Bytes(1000, 0)), "truncated");
    expectRefused(packBitsSpec(kMaxPictureSide, kMaxPictureSide, 3, Bytes(1000, 0x81)),
                  "too short");
    // A row byte count table longer than the file.
    PsdPlan table = rawSpec(1, 4000, 3, Bytes(100, 0));
    table.compression = 1;
    expectRefused(table, "row byte count table");
}

TEST(PsdReader, RefusesBadSectionLengths) {
    const Bytes file = testing::buildPsd(twoByOne());
    const size_t firstLength = 26;
    for (uint32_t length : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 1000u}) {
        for (size_t section = 0; section < 3; ++section) {
            Bytes bad = file;
            const size_t at = firstLength + 4 * section;
            bad[at] = static_cast<uint8_t>(length >> 24);
            bad[at + 1] = static_cast<uint8_t>(length >> 16);
            bad[at + 2] = static_cast<uint8_t>(length >> 8);
            bad[at + 3] = static_cast<uint8_t>(length);
            expectRefused(bad, length >= 0x80000000u ? "negative length" : "past the end");
        }
    }
}

TEST(PsdReader, RefusesRunsPastTheirPlaneOrTheData) {
    // A repeat and a literal run one pixel longer than the plane.
    expectRefused(packBitsSpec(4, 1, 1, {252, 1}), "past the end of the plane");
    expectRefused(packBitsSpec(4, 1, 1, {4, 1, 2, 3, 4, 5}), "past the end of the plane");
    // Runs cut short by the end of the data.
    expectRefused(packBitsSpec(4, 1, 1, {3, 1, 2}), "past the end of the data");
    expectRefused(packBitsSpec(4, 1, 1, {253}), "without its byte");
    expectRefused(packBitsSpec(4, 1, 1, {128, 128, 128}), "ends after");
    expectRefused(packBitsSpec(4, 1, 3, {253, 1, 253, 2}), "ends after 0");
}

TEST(PsdReader, TruncatedOrChangedFilesAreSafe) {
    testing::expectEveryPrefixRefused(decodePSD, testing::buildPsd(twoByOne()));
    const Bytes stream = {252, 5, 0, 6, 251, 0, 1, 1, 2, 3, 4, 1, 2, 3};
    testing::expectEveryPrefixRefused(decodePSD, testing::buildPsd(packBitsSpec(3, 2, 3, stream)));
    testing::expectByteChangesSafe(decodePSD, testing::buildPsd(twoByOne()));
    testing::expectByteChangesSafe(decodePSD, testing::buildPsd(packBitsSpec(3, 2, 3, stream)));
}

} // namespace
} // namespace sga
