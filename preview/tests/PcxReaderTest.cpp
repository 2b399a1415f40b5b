#include "preview/PcxReader.h"
#include "tests/support/PictureBuilders.h"
#include "tests/support/ArchiveWriter.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using testing::Bytes;
using testing::PcxPlan;

// A palette whose entry i is red i, green 255 - i, blue i / 2.
Bytes rampPalette() {
    Bytes palette;
    for (int i = 0; i < 256; ++i) {
        palette.push_back(static_cast<uint8_t>(i));
        palette.push_back(static_cast<uint8_t>(255 - i));
        palette.push_back(static_cast<uint8_t>(i / 2));
    }
    return palette;
}

// 3 x 2, one plane, scan lines of 4 bytes (the last byte of each is padding).
PcxPlan paletted() {
    PcxPlan plan;
    plan.xMin = 10;
    plan.xMax = 12;
    plan.yMin = 5;
    plan.yMax = 6;
    plan.bytesPerLine = 4;
    plan.data = testing::pcxRle({0, 200, 200, 77, 9, 9, 9, 9});   // a run crosses the line end
    plan.palette = rampPalette();
    return plan;
}

Bytes bgrOf(uint8_t index) {
    return {static_cast<uint8_t>(index / 2), static_cast<uint8_t>(255 - index), index};
}

// 2 x 2, three planes per scan line: red, green, blue.
PcxPlan trueColour() {
    PcxPlan plan;
    plan.planes = 3;
    plan.xMax = 1;
    plan.yMax = 1;
    plan.data = testing::pcxRle({1, 2, 3, 4, 5, 6, 200, 200, 200, 200, 200, 200});
    return plan;
}

void expectRefused(const Bytes& file, const std::string& why = {}) {
    testing::expectRefused(decodePCX, file, why);
}

TEST(PcxReader, PalettedPictureFromDisk) {
    testing::TempDir dir;
    PreviewImage image = testing::sentinelImage();
    ASSERT_TRUE(loadPCX(dir.write("pic.tmp", testing::buildPcx(paletted())), image));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bitsPerPixel, 24);
    EXPECT_TRUE(image.palette.empty());
    EXPECT_EQ(image.pixels,
              testing::concat({bgrOf(0), bgrOf(200), bgrOf(200), bgrOf(9), bgrOf(9), bgrOf(9)}));
}

TEST(PcxReader, TrueColourPicture) {
    const PreviewImage image = testing::expectDecoded(decodePCX, testing::buildPcx(trueColour()));
    EXPECT_EQ(image.pixels, Bytes({5, 3, 1, 6, 4, 2, 200, 200, 200, 200, 200, 200}));
}

TEST(PcxReader, RefusesOtherKinds) {
    Bytes notPcx = testing::buildPcx(paletted());
    notPcx[0] = 0x0B;
    expectRefused(notPcx, "not a PCX");
    for (uint8_t version : {0, 2, 3, 4, 6}) {
        PcxPlan plan = paletted();
        plan.version = version;
        expectRefused(testing::buildPcx(plan), "version");
    }
    PcxPlan raw = paletted();
    raw.encoding = 0;
    expectRefused(testing::buildPcx(raw), "encoding");
    for (auto [bits, planes] : std::vector<std::pair<uint8_t, uint8_t>>{
             {1, 1}, {1, 4}, {4, 1}, {8, 2}, {8, 4}, {24, 1}}) {
        PcxPlan plan = paletted();
        plan.bitsPerPixel = bits;
        plan.planes = planes;
        expectRefused(testing::buildPcx(plan), "planes");
    }
}

TEST(PcxReader, RefusesHostileFiles) {
    PcxPlan inverted = paletted();
    inverted.xMax = 9;
    expectRefused(testing::buildPcx(inverted), "size");
    PcxPlan huge = trueColour();
    huge.xMax = 65535;
    expectRefused(testing::buildPcx(huge), "larger than");
    PcxPlan big = trueColour();
    big.xMax = kMaxPictureSide - 1;
    big.yMax = kMaxPictureSide - 1;
    expectRefused(testing::buildPcx(big), "too short");
    PcxPlan narrowLines = paletted();
    narrowLines.bytesPerLine = 2;
    expectRefused(testing::buildPcx(narrowLines), "bytes per line");
    PcxPlan noPalette = paletted();
    noPalette.palette.reset();
    expectRefused(testing::buildPcx(noPalette), "palette");
    PcxPlan runPastEnd = trueColour();
    runPastEnd.data = testing::pcxRle({1, 2, 3, 4, 5, 6, 200, 200, 200, 200, 200});
    runPastEnd.data.push_back(0xC0 | 2);
    runPastEnd.data.push_back(7);
    expectRefused(testing::buildPcx(runPastEnd), "run past the end");
    PcxPlan cutRun = trueColour();
    cutRun.data.pop_back();
    expectRefused(testing::buildPcx(cutRun), "without its byte");
}

TEST(PcxReader, TruncatedOrChangedFilesAreSafe) {
    testing::expectEveryPrefixRefused(decodePCX, testing::buildPcx(paletted()));
    testing::expectEveryPrefixRefused(decodePCX, testing::buildPcx(trueColour()));
    testing::expectByteChangesSafe(decodePCX, testing::buildPcx(paletted()));
    testing::expectByteChangesSafe(decodePCX, testing::buildPcx(trueColour()));
}

} // namespace
} // namespace sga
