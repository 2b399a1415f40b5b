// Decoded pixels of hand-built BC1 to BC5 and BC7 blocks, checked exactly.
#include "preview/BlockFormats.h"
#include "preview/tests/BlockEncoder.h"

#include <gtest/gtest.h>

#include <string>

namespace sga {
namespace {

using Pixel = std::array<int, 4>;
using test::Bc7Fields;

std::vector<Pixel> decodeOne(BlockFormat format, std::vector<uint8_t> block) {
    auto rgba = decodeBlocks(format, block, 4, 4);
    EXPECT_TRUE(rgba.ok()) << rgba.message();
    std::vector<Pixel> pixels;
    for (size_t i = 0; rgba.ok() && i < 16; ++i)
        pixels.push_back({(*rgba)[4 * i], (*rgba)[4 * i + 1], (*rgba)[4 * i + 2], (*rgba)[4 * i + 3]});
    return pixels;
}

template <size_t A, size_t B = 0>
std::vector<uint8_t> join(const std::array<uint8_t, A>& a, const std::array<uint8_t, B>& b = {}) {
    std::vector<uint8_t> out(a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

constexpr std::array<uint8_t, 16> kRamp2 = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
constexpr std::array<uint8_t, 16> kRamp3 = {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7};

TEST(Bc1Test, FourColoursWhenFirstIsGreater) {
    // red (0xF800) to blue (0x001F): thirds fall on whole values.
    const Pixel palette[4] = {{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 255}, {85, 0, 170, 255}};
    const auto pixels = decodeOne(BlockFormat::BC1, join(test::bc1Block(0xF800, 0x001F, kRamp2)));
    ASSERT_EQ(pixels.size(), 16u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(pixels[i], palette[kRamp2[i]]) << "pixel " << i;
}

TEST(Bc1Test, ThreeColoursAndTransparentWhenFirstIsNotGreater) {
    // black to red 16/31 (132): the half is 66, index 3 is transparent black.
    const Pixel palette[4] = {{0, 0, 0, 255}, {132, 0, 0, 255}, {66, 0, 0, 255}, {0, 0, 0, 0}};
    const auto pixels = decodeOne(BlockFormat::BC1, join(test::bc1Block(0x0000, 0x8000, kRamp2)));
    ASSERT_EQ(pixels.size(), 16u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(pixels[i], palette[kRamp2[i]]) << "pixel " << i;
}

TEST(Bc2Test, ExplicitAlphaAndAlwaysFourColours) {
    std::array<uint8_t, 16> alpha{};
    for (int i = 0; i < 16; ++i) alpha[i] = static_cast<uint8_t>(i);
    // Colours in "three-colour" order still give four colours in BC2.
    const Pixel palette[4] = {{0, 0, 255, 0}, {255, 0, 0, 0}, {85, 0, 170, 0}, {170, 0, 85, 0}};
    const auto pixels =
        decodeOne(BlockFormat::BC2, join(test::bc2AlphaBlock(alpha), test::bc1Block(0x001F, 0xF800, kRamp2)));
    ASSERT_EQ(pixels.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        Pixel want = palette[kRamp2[i]];
        want[3] = i * 17;
        EXPECT_EQ(pixels[i], want) << "pixel " << i;
    }
}

// Eight-value (first greater) and six-value palettes with whole-number steps.
struct AlphaCase {
    uint8_t first, second;
    std::array<int, 8> palette;
};
const AlphaCase kAlphaCases[] = {
    {70, 0, {70, 0, 60, 50, 40, 30, 20, 10}},
    {0, 100, {0, 100, 20, 40, 60, 80, 0, 255}},
};

TEST(Bc3Test, InterpolatedAlphaOverColour) {
    for (const AlphaCase& c : kAlphaCases) {
        const auto pixels = decodeOne(
            BlockFormat::BC3, join(test::bc4Block(c.first, c.second, kRamp3), test::bc1Block(0xF800, 0x001F, kRamp2)));
        ASSERT_EQ(pixels.size(), 16u);
        const Pixel colours[4] = {{255, 0, 0}, {0, 0, 255}, {170, 0, 85}, {85, 0, 170}};
        for (int i = 0; i < 16; ++i) {
            Pixel want = colours[kRamp2[i]];
            want[3] = c.palette[kRamp3[i]];
            EXPECT_EQ(pixels[i], want) << "alpha " << int(c.first) << "/" << int(c.second) << " pixel " << i;
        }
    }
}

TEST(Bc4Test, GreyFromOneChannel) {
    for (const AlphaCase& c : kAlphaCases) {
        const auto pixels = decodeOne(BlockFormat::BC4, join(test::bc4Block(c.first, c.second, kRamp3)));
        ASSERT_EQ(pixels.size(), 16u);
        for (int i = 0; i < 16; ++i) {
            const int v = c.palette[kRamp3[i]];
            EXPECT_EQ(pixels[i], (Pixel{v, v, v, 255})) << "pixel " << i;
        }
    }
}

TEST(Bc5Test, RedAndGreenFromTwoChannels) {
    std::array<uint8_t, 16> reversed{};
    for (int i = 0; i < 16; ++i) reversed[i] = kRamp3[15 - i];
    const auto pixels = decodeOne(BlockFormat::BC5, join(test::bc4Block(70, 0, kRamp3), test::bc4Block(0, 100, reversed)));
    ASSERT_EQ(pixels.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(pixels[i], (Pixel{kAlphaCases[0].palette[kRamp3[i]], kAlphaCases[1].palette[reversed[i]], 0, 255}))
            << "pixel " << i;
}

TEST(BlockDecodeTest, EdgeBlocksAreCutToThePictureAndShortDataIsRefused) {
    // 5 x 3 pixels take two BC4 blocks; the second block's first column is pixel 4.
    std::vector<uint8_t> blocks = join(test::bc4Block(10, 10, {}), test::bc4Block(200, 200, {}));
    auto rgba = decodeBlocks(BlockFormat::BC4, blocks, 5, 3);
    ASSERT_TRUE(rgba.ok()) << rgba.message();
    ASSERT_EQ(rgba->size(), 5u * 3 * 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ((*rgba)[(y * 5 + x) * 4], x < 4 ? 10 : 200) << x << "," << y;
    blocks.pop_back();
    auto shortData = decodeBlocks(BlockFormat::BC4, blocks, 5, 3);
    ASSERT_FALSE(shortData.ok());
    EXPECT_EQ(shortData.message(), "BC4: 15 bytes for 5 x 3 pixels, which need 16");
}

// ---- BC7 ----------------------------------------------------------------

// The interpolation weights of the block description.
int weight(int bits, uint32_t index) {
    static const int w2[] = {0, 21, 43, 64};
    static const int w3[] = {0, 9, 18, 27, 37, 46, 55, 64};
    static const int w4[] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};
    return bits == 2 ? w2[index] : bits == 3 ? w3[index] : w4[index];
}
int lerp(int e0, int e1, int bits, uint32_t index) {
    const int w = weight(bits, index);
    return ((64 - w) * e0 + w * e1 + 32) >> 6;
}

struct Bc7Case {
    std::string name;
    Bc7Fields fields;
    std::string subsets;                       // subset of each pixel, "" for one subset
    std::array<std::array<int, 4>, 6> wide;    // endpoints after the p-bits and widening
};

// Subset s runs channel s from 0 to its top; other colour channels stay 0.
void rampPerSubset(Bc7Fields& f, uint32_t top) {
    for (int s = 0; s < f.subsets; ++s) f.endpoints[2 * s + 1][s] = top;
}
void indexPattern(Bc7Fields& f) {
    for (int i = 0; i < 16; ++i) {
        const bool anchor = std::find(f.anchors.begin(), f.anchors.end(), i) != f.anchors.end();
        const uint32_t limit = 1u << (f.indexBits - (anchor ? 1 : 0));
        f.index[i] = static_cast<uint32_t>(i * 7 + 3) % limit;
        if (f.secondIndexBits) f.secondIndex[i] = static_cast<uint32_t>(i * 5 + 1) % (1u << (f.secondIndexBits - (i == 0)));
    }
}

std::vector<Bc7Case> bc7Cases() {
    std::vector<Bc7Case> cases;
    {   // mode 0: three subsets, 4-bit colours, a p-bit per endpoint; partition 13, anchors 5 and 15
        Bc7Case c{"mode 0", {}, "0122012201220122", {}};
        Bc7Fields& f = c.fields;
        f.mode = 0; f.partitionBits = 4; f.partition = 13; f.subsets = 3; f.colourBits = 4;
        f.pBitsPerEndpoint = 1; f.pBits = {0, 1, 0, 1, 0, 1}; f.indexBits = 3; f.anchors = {0, 5, 15};
        rampPerSubset(f, 15);
        indexPattern(f);
        // the second endpoint's p-bit 1 turns its zero channels into 8
        for (int s = 0; s < 3; ++s) {
            c.wide[2 * s] = {0, 0, 0, 255};
            c.wide[2 * s + 1] = {8, 8, 8, 255};
            c.wide[2 * s + 1][s] = 255;
        }
        cases.push_back(c);
    }
    {   // mode 1: two subsets, 6-bit colours, a shared p-bit per subset; partition 17, anchor 2
        Bc7Case c{"mode 1", {}, "0111000100000000", {}};
        Bc7Fields& f = c.fields;
        f.mode = 1; f.partitionBits = 6; f.partition = 17; f.subsets = 2; f.colourBits = 6;
        f.pBitsPerSubset = 1; f.pBits = {1, 0}; f.indexBits = 3; f.anchors = {0, 2};
        rampPerSubset(f, 63);
        indexPattern(f);
        // subset 0 with p-bit 1: 0 -> 2, 63 -> 255; subset 1 with p-bit 0: 0 -> 0, 63 -> 253
        c.wide[0] = {2, 2, 2, 255}; c.wide[1] = {255, 2, 2, 255};
        c.wide[2] = {0, 0, 0, 255}; c.wide[3] = {0, 253, 0, 255};
        cases.push_back(c);
    }
    {   // mode 2: three subsets, 5-bit colours, no p-bits; partition 0, anchors 3 and 15
        Bc7Case c{"mode 2", {}, "0011001102212222", {}};
        Bc7Fields& f = c.fields;
        f.mode = 2; f.partitionBits = 6; f.partition = 0; f.subsets = 3; f.colourBits = 5;
        f.indexBits = 2; f.anchors = {0, 3, 15};
        rampPerSubset(f, 31);
        f.endpoints[0] = {16, 0, 0, 0};   // 16 of 31 widens to 132
        indexPattern(f);
        c.wide[0] = {132, 0, 0, 255}; c.wide[1] = {255, 0, 0, 255};
        c.wide[2] = {0, 0, 0, 255}; c.wide[3] = {0, 255, 0, 255};
        c.wide[4] = {0, 0, 0, 255}; c.wide[5] = {0, 0, 255, 255};
        cases.push_back(c);
    }
    {   // mode 3: two subsets, 7-bit colours, a p-bit per endpoint; partition 34, anchor 6
        Bc7Case c{"mode 3", {}, "0101101001011010", {}};
        Bc7Fields& f = c.fields;
        f.mode = 3; f.partitionBits = 6; f.partition = 34; f.subsets = 2; f.colourBits = 7;
        f.pBitsPerEndpoint = 1; f.pBits = {0, 1, 1, 0}; f.indexBits = 2; f.anchors = {0, 6};
        rampPerSubset(f, 127);
        indexPattern(f);
        c.wide[0] = {0, 0, 0, 255}; c.wide[1] = {255, 1, 1, 255};
        c.wide[2] = {1, 1, 1, 255}; c.wide[3] = {0, 254, 0, 255};
        cases.push_back(c);
    }
    {   // mode 4: separate alpha, rotation 1 (alpha and red swap), 3-bit colour indices
        Bc7Case c{"mode 4", {}, "", {}};
        Bc7Fields& f = c.fields;
        f.mode = 4; f.rotationBits = 2; f.rotation = 1; f.selectorBits = 1; f.selector = 1;
        f.colourBits = 5; f.alphaBits = 6; f.indexBits = 2; f.secondIndexBits = 3;
        f.endpoints[0] = {0, 31, 0, 0}; f.endpoints[1] = {31, 0, 16, 63};
        indexPattern(f);
        c.wide[0] = {0, 255, 0, 0}; c.wide[1] = {255, 0, 132, 255};
        cases.push_back(c);
    }
    {   // mode 5: 7-bit colours, 8-bit alpha with its own 2-bit indices, rotation 3 (alpha and blue)
        Bc7Case c{"mode 5", {}, "", {}};
        Bc7Fields& f = c.fields;
        f.mode = 5; f.rotationBits = 2; f.rotation = 3; f.colourBits = 7; f.alphaBits = 8;
        f.indexBits = 2; f.secondIndexBits = 2;
        f.endpoints[0] = {127, 0, 64, 10}; f.endpoints[1] = {0, 127, 1, 250};
        indexPattern(f);
        // 7 bits widen by repeating the top bit: 64 -> 129, 1 -> 2
        c.wide[0] = {255, 0, 129, 10}; c.wide[1] = {0, 255, 2, 250};
        cases.push_back(c);
    }
    {   // mode 6: one subset, 7-bit colour and alpha with p-bits, 4-bit indices
        Bc7Case c{"mode 6", {}, "", {}};
        Bc7Fields& f = c.fields;
        f.mode = 6; f.colourBits = 7; f.alphaBits = 7; f.pBitsPerEndpoint = 1; f.pBits = {1, 0};
        f.indexBits = 4;
        f.endpoints[0] = {127, 0, 50, 127}; f.endpoints[1] = {0, 127, 100, 0};
        indexPattern(f);
        c.wide[0] = {255, 1, 101, 255}; c.wide[1] = {0, 254, 200, 0};
        cases.push_back(c);
    }
    {   // mode 7: two subsets, 5-bit colour and alpha, a p-bit per endpoint; partition 63, anchor 15
        Bc7Case c{"mode 7", {}, "0100010001110111", {}};
        Bc7Fields& f = c.fields;
        f.mode = 7; f.partitionBits = 6; f.partition = 63; f.subsets = 2; f.colourBits = 5; f.alphaBits = 5;
        f.pBitsPerEndpoint = 1; f.pBits = {0, 1, 0, 1}; f.indexBits = 2; f.anchors = {0, 15};
        rampPerSubset(f, 31);
        f.endpoints[0][3] = 31; f.endpoints[1][3] = 0; f.endpoints[2][3] = 8; f.endpoints[3][3] = 31;
        indexPattern(f);
        // 6-bit values widen: 62 -> 251, 63 -> 255, 1 -> 4, 16 -> 65
        c.wide[0] = {0, 0, 0, 251}; c.wide[1] = {255, 4, 4, 4};
        c.wide[2] = {0, 0, 0, 65}; c.wide[3] = {4, 255, 4, 255};
        cases.push_back(c);
    }
    return cases;
}

TEST(Bc7Test, EveryModeDecodesToTheValuesWorkedOutByHand) {
    for (const Bc7Case& c : bc7Cases()) {
        const auto block = test::bc7Block(c.fields);
        const auto pixels = decodeOne(BlockFormat::BC7, std::vector<uint8_t>(block.begin(), block.end()));
        ASSERT_EQ(pixels.size(), 16u) << c.name;
        const Bc7Fields& f = c.fields;
        for (int i = 0; i < 16; ++i) {
            const int s = c.subsets.empty() ? 0 : c.subsets[i] - '0';
            const auto& e0 = c.wide[2 * s];
            const auto& e1 = c.wide[2 * s + 1];
            uint32_t colourIndex = f.index[i], alphaIndex = f.secondIndexBits ? f.secondIndex[i] : f.index[i];
            int colourBits = f.indexBits, alphaBits = f.secondIndexBits ? f.secondIndexBits : f.indexBits;
            if (f.selector) std::swap(colourIndex, alphaIndex), std::swap(colourBits, alphaBits);
            Pixel want;
            for (int ch = 0; ch < 3; ++ch) want[ch] = lerp(e0[ch], e1[ch], colourBits, colourIndex);
            want[3] = lerp(e0[3], e1[3], alphaBits, alphaIndex);
            if (f.rotation) std::swap(want[3], want[f.rotation - 1]);
            EXPECT_EQ(pixels[i], want) << c.name << " pixel " << i;
        }
    }
}

TEST(Bc7Test, ReservedModeIsTransparentBlack) {
    const auto pixels = decodeOne(BlockFormat::BC7, std::vector<uint8_t>(16, 0));
    for (const Pixel& p : pixels) EXPECT_EQ(p, (Pixel{0, 0, 0, 0}));
}

TEST(Bc7Test, AnyBlockDecodesWithoutFault) {
    // Every first byte (all modes), other bytes varied: no crash, no read beyond the block.
    uint8_t rgba[64];
    for (int first = 0; first < 256; ++first) {
        uint8_t block[16];
        for (int i = 0; i < 16; ++i) block[i] = static_cast<uint8_t>(i == 0 ? first : first * 31 + i * 97);
        decodeBc7Block(block, rgba);
    }
    SUCCEED();
}

} // namespace
} // namespace sga
