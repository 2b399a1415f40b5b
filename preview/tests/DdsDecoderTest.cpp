// DDS: each way of naming a format leads to the right decoder; uncompressed
// pixels by their masks; refusals name what is wrong; hostile bytes never crash.
#include "preview/BlockFormats.h"
#include "preview/DdsDecoder.h"
#include "preview/tests/BlockEncoder.h"
#include "preview/tests/TextureBuilders.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using test::DdsHeader;
using test::ddsFile;

// Two different blocks of each size, so that block order matters.
std::vector<uint8_t> someBlocks(BlockFormat format, int count) {
    std::vector<uint8_t> data;
    for (int b = 0; b < count; ++b)
        for (uint32_t i = 0; i < blockBytes(format); ++i) data.push_back(static_cast<uint8_t>(b * 77 + i * 13 + 1));
    return data;
}

struct NamedFormat {
    std::string fourCc;
    uint32_t dxgi;
    BlockFormat format;
};

TEST(DdsTest, EveryFourCcAndDxgiNameReachesItsBlockDecoder) {
    const NamedFormat cases[] = {
        {"DXT1", 0, BlockFormat::BC1},  {"DXT3", 0, BlockFormat::BC2},  {"DXT5", 0, BlockFormat::BC3},
        {"DXT2", 0, BlockFormat::BC2},  {"DXT4", 0, BlockFormat::BC3},  {"ATI1", 0, BlockFormat::BC4},
        {"BC4U", 0, BlockFormat::BC4},  {"ATI2", 0, BlockFormat::BC5},  {"BC5U", 0, BlockFormat::BC5},
        {"DX10", 71, BlockFormat::BC1}, {"DX10", 72, BlockFormat::BC1}, {"DX10", 74, BlockFormat::BC2},
        {"DX10", 75, BlockFormat::BC2}, {"DX10", 77, BlockFormat::BC3}, {"DX10", 78, BlockFormat::BC3},
        {"DX10", 80, BlockFormat::BC4}, {"DX10", 83, BlockFormat::BC5}, {"DX10", 98, BlockFormat::BC7},
        {"DX10", 99, BlockFormat::BC7},
    };
    for (const NamedFormat& c : cases) {
        // 8 x 4 pixels: two blocks; then a 4 x 2 and a 2 x 1 and a 1 x 1 level (one block each).
        DdsHeader h;
        h.width = 8;
        h.height = 4;
        h.mips = 4;
        h.fourCc = c.fourCc;
        h.dxgi = c.dxgi;
        const std::vector<uint8_t> blocks = someBlocks(c.format, 2);
        std::vector<uint8_t> data = blocks;
        const auto smaller = someBlocks(c.format, 3);
        data.insert(data.end(), smaller.begin(), smaller.end());
        const auto picture = decodeDds(ddsFile(h, data));
        ASSERT_TRUE(picture.ok()) << c.fourCc << " " << c.dxgi << ": " << picture.message();
        EXPECT_EQ(picture->format, blockFormatName(c.format));
        EXPECT_EQ(picture->width, 8);
        EXPECT_EQ(picture->height, 4);
        EXPECT_EQ(picture->mipCount, 4);
        EXPECT_EQ(picture->rgba, *decodeBlocks(c.format, blocks, 8, 4)) << c.fourCc << " " << c.dxgi;
    }
}

struct RawCase {
    std::string name;
    DdsHeader header;
    std::vector<uint8_t> pixel;         // one stored pixel
    std::array<uint8_t, 4> rgba;        // what it shows as
    std::string format;
};

TEST(DdsTest, UncompressedPixelsFollowTheirMasks) {
    DdsHeader bgra;   // the defaults: 32-bit, B G R A in memory
    DdsHeader rgba = bgra;
    rgba.masks[0] = 0x000000FF;
    rgba.masks[2] = 0x00FF0000;
    DdsHeader bgr = bgra;
    bgr.bits = 24;
    bgr.alphaPixels = false;
    DdsHeader noAlphaFlag = bgra;   // an alpha mask without the flag is ignored
    noAlphaFlag.alphaPixels = false;
    DdsHeader r5g6b5in32 = bgra;    // narrow masks are scaled to 8 bits
    r5g6b5in32.masks[0] = 0xF800;
    r5g6b5in32.masks[1] = 0x07E0;
    r5g6b5in32.masks[2] = 0x001F;
    r5g6b5in32.alphaPixels = false;
    DdsHeader dx10Rgba;
    dx10Rgba.fourCc = "DX10";
    dx10Rgba.dxgi = 28;
    DdsHeader dx10Bgra = dx10Rgba;
    dx10Bgra.dxgi = 87;
    DdsHeader dx10Bgrx = dx10Rgba;
    dx10Bgrx.dxgi = 88;
    const RawCase cases[] = {
        {"BGRA", bgra, {10, 20, 30, 40}, {30, 20, 10, 40}, "32-bit RGBA"},
        {"RGBA", rgba, {10, 20, 30, 40}, {10, 20, 30, 40}, "32-bit RGBA"},
        {"BGR", bgr, {10, 20, 30}, {30, 20, 10, 255}, "24-bit RGB"},
        {"alpha mask without flag", noAlphaFlag, {10, 20, 30, 40}, {30, 20, 10, 255}, "32-bit RGB"},
        {"565 masks", r5g6b5in32, {0xFF, 0x07, 0, 0}, {0, 255, 255, 255}, "32-bit RGB"},
        {"DXGI 28", dx10Rgba, {10, 20, 30, 40}, {10, 20, 30, 40}, "R8G8B8A8"},
        {"DXGI 87", dx10Bgra, {10, 20, 30, 40}, {30, 20, 10, 40}, "B8G8R8A8"},
        {"DXGI 88", dx10Bgrx, {10, 20, 30, 40}, {30, 20, 10, 255}, "B8G8R8X8"},
    };
    for (const RawCase& c : cases) {
        DdsHeader h = c.header;
        h.width = 3;
        h.height = 2;
        std::vector<uint8_t> data;
        for (int i = 0; i < 6; ++i) data.insert(data.end(), c.pixel.begin(), c.pixel.end());
        const auto picture = decodeDds(ddsFile(h, data));
        ASSERT_TRUE(picture.ok()) << c.name << ": " << picture.message();
        EXPECT_EQ(picture->format, c.format) << c.name;
        ASSERT_EQ(picture->rgba.size(), 24u) << c.name;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ((std::array<uint8_t, 4>{picture->rgba[4 * i], picture->rgba[4 * i + 1], picture->rgba[4 * i + 2],
                                              picture->rgba[4 * i + 3]}),
                      c.rgba)
                << c.name << " pixel " << i;
    }
}

struct RefusedCase {
    std::string name;
    std::vector<uint8_t> file;
    std::string message;
};

std::vector<RefusedCase> refusedCases() {
    const std::vector<uint8_t> oneBlock(16, 0);
    std::vector<RefusedCase> cases;
    auto add = [&](std::string name, DdsHeader h, std::vector<uint8_t> data, std::string message) {
        cases.push_back({std::move(name), ddsFile(h, data), std::move(message)});
    };
    DdsHeader h;
    h.fourCc = "DX10";
    h.dxgi = 95;
    add("BC6H", h, oneBlock, "DDS: BC6H (DXGI format 95) cannot be shown");
    h.dxgi = 81;
    add("signed BC4", h, oneBlock, "DDS: BC4 with signed values (DXGI format 81) cannot be shown");
    h.dxgi = 2;
    add("float pixels", h, oneBlock, "DDS: DXGI format 2 cannot be shown");
    h.fourCc = "ETC2";
    add("unknown FourCC", h, oneBlock, "DDS: FourCC \"ETC2\" cannot be shown");
    h.fourCc = std::string("\x71\0\0\0", 4);
    add("numeric FourCC", h, oneBlock, "DDS: FourCC number 113 cannot be shown");
    h.fourCc = "DXT5";
    h.width = h.height = 65535;
    add("huge", h, oneBlock, "DDS: picture of 65535 x 65535 is beyond the limit of 16384 x 16384");
    h.width = 0;
    add("empty", h, oneBlock, "DDS: picture of 0 x 65535 has no pixels");
    h.width = h.height = 4;
    h.mips = 2;
    add("truncated second mip", h, oneBlock,
        "DDS: mip 2 of 2 at offset 144 needs 16 bytes; the file ends after 0");
    h.mips = 4;
    add("more mips than the chain", h, oneBlock, "DDS: mip count at offset 28 is 4, more than the 3 a 4 x 4 picture has");
    h.mips = 1;
    add("truncated first mip", h, std::vector<uint8_t>(15),
        "DDS: mip 1 of 1 at offset 128 needs 16 bytes; the file ends after 15");
    DdsHeader rgb;
    rgb.bits = 16;
    add("16-bit", rgb, oneBlock, "DDS: 16-bit RGB pixels cannot be shown (24 and 32 can)");
    rgb.bits = 24;
    add("mask wider than the pixel", rgb, std::vector<uint8_t>(48), "DDS: A mask at offset 104 does not fit 24-bit pixels");
    cases.push_back({"no magic", std::vector<uint8_t>(200, 0), "DDS: no \"DDS \" magic at offset 0"});
    std::vector<uint8_t> badSize = ddsFile(DdsHeader{}, std::vector<uint8_t>(64));
    badSize[4] = 100;
    cases.push_back({"header size", badSize, "DDS: header size at offset 4 is 100, not 124"});
    return cases;
}

TEST(DdsTest, RefusalsSayWhatIsWrongAndWhere) {
    for (const RefusedCase& c : refusedCases()) {
        const auto picture = decodeDds(c.file);
        ASSERT_FALSE(picture.ok()) << c.name;
        EXPECT_EQ(picture.message(), c.message) << c.name;
    }
}

std::vector<uint8_t> validBc7File() {
    DdsHeader h;
    h.width = 8;
    h.height = 8;
    h.mips = 4;
    h.fourCc = "DX10";
    h.dxgi = 98;
    return ddsFile(h, someBlocks(BlockFormat::BC7, 4 + 1 + 1 + 1));
}

TEST(DdsTest, EveryPrefixIsRefusedCleanly) {
    const std::vector<uint8_t> file = validBc7File();
    ASSERT_TRUE(decodeDds(file).ok());
    for (size_t n = 0; n < file.size(); ++n) {
        const auto picture = decodeDds(std::span<const uint8_t>(file.data(), n));
        EXPECT_FALSE(picture.ok()) << "prefix " << n;
        EXPECT_FALSE(picture.message().empty());
    }
}

TEST(DdsTest, ChangedBytesNeverGiveABadPicture) {
    const std::vector<uint8_t> file = validBc7File();
    for (size_t at = 0; at < file.size(); ++at)
        for (uint8_t value : {uint8_t{0}, uint8_t{0xFF}, static_cast<uint8_t>(file[at] ^ 0x80)}) {
            std::vector<uint8_t> changed = file;
            changed[at] = value;
            const auto picture = decodeDds(changed);
            if (picture.ok())
                EXPECT_EQ(picture->rgba.size(), static_cast<size_t>(picture->width) * static_cast<size_t>(picture->height) * 4) << at;
            else
                EXPECT_FALSE(picture.message().empty());
        }
}

} // namespace
} // namespace sga
