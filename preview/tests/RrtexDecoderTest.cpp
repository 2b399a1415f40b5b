// RRTEX: the largest mip record, joined from zlib and raw pieces, decodes as
// BC7; unknown format codes, sizes and broken pieces are refused by name.
#include "preview/BlockFormats.h"
#include "preview/RrtexDecoder.h"
#include "preview/tests/ChunkyBuilder.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace sga {
namespace {

using test::appendLe32;
using test::TestChunk;

struct PieceSpec {
    std::vector<uint8_t> bytes;   // unpacked
    bool zlib = false;
};

std::vector<uint8_t> deflated(const std::vector<uint8_t>& bytes) {
    uLongf size = compressBound(bytes.size());
    std::vector<uint8_t> out(size);
    EXPECT_EQ(compress2(out.data(), &size, bytes.data(), bytes.size(), 9), Z_OK);
    out.resize(size);
    return out;
}

std::vector<uint8_t> mipRecord(uint32_t level, uint32_t width, uint32_t height, const std::vector<uint8_t>& blocks) {
    std::vector<uint8_t> out;
    for (uint32_t v : {level, width, height, static_cast<uint32_t>(blocks.size())}) appendLe32(out, v);
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

// entries: smallest mip first, each as its pieces.
std::vector<uint8_t> rrtexFile(uint32_t width, uint32_t height, uint32_t formatCode, uint32_t mips,
                               const std::vector<std::vector<PieceSpec>>& entries) {
    std::vector<uint8_t> tman;
    for (uint32_t v : {6u, width, height, 1u, 2u, formatCode, mips}) appendLe32(tman, v);
    tman.push_back(0);
    appendLe32(tman, static_cast<uint32_t>(entries.size()));
    for (const auto& pieces : entries) appendLe32(tman, static_cast<uint32_t>(pieces.size()));
    std::vector<uint8_t> tdat;
    appendLe32(tdat, 6);
    for (const auto& pieces : entries)
        for (const PieceSpec& piece : pieces) {
            const std::vector<uint8_t> stored = piece.zlib ? deflated(piece.bytes) : piece.bytes;
            if (piece.zlib) EXPECT_LT(stored.size(), piece.bytes.size()) << "a zlib piece must shrink";
            appendLe32(tman, static_cast<uint32_t>(piece.bytes.size()));
            appendLe32(tman, static_cast<uint32_t>(stored.size()));
            tdat.insert(tdat.end(), stored.begin(), stored.end());
        }
    return test::chunkyFile(4, {TestChunk{"FOLDTSET", 1, "", {}, {
        TestChunk{"DATADATA", 4, "", {}, {}},
        TestChunk{"FOLDTXTR", 2, "art/texture.rrtex", {}, {
            TestChunk{"FOLDDXTC", 6, "", {}, {
                TestChunk{"DATATMAN", 2, "", tman, {}},
                TestChunk{"DATATDAT", 1, "", tdat, {}}}}}}}}});
}

std::vector<uint8_t> bc7Blocks(int count) {
    std::vector<uint8_t> out;
    // Alike blocks (so that zlib shrinks them) but for the second, so that order shows.
    for (int i = 0; i < count * 16; ++i) out.push_back(static_cast<uint8_t>((i % 16) * 29 + 7 + (i / 16 == 1)));
    return out;
}

// A 16 x 16 texture, 5 mips; level 0 cut into a zlib piece and a raw piece.
std::vector<uint8_t> sampleTexture(uint32_t formatCode = 28) {
    const auto level0 = mipRecord(0, 16, 16, bc7Blocks(16));
    const std::vector<uint8_t> head(level0.begin(), level0.begin() + 200), tail(level0.begin() + 200, level0.end());
    return rrtexFile(16, 16, formatCode, 5,
                     {{{mipRecord(4, 1, 1, bc7Blocks(1)), false}},
                      {{mipRecord(3, 2, 2, bc7Blocks(1)), false}},
                      {{mipRecord(2, 4, 4, bc7Blocks(1)), false}},
                      {{mipRecord(1, 8, 8, bc7Blocks(4)), true}},
                      {{head, true}, {tail, false}}});
}

TEST(RrtexTest, LargestRecordFromZlibAndRawPiecesDecodesAsBc7) {
    const auto picture = decodeRrtex(sampleTexture());
    ASSERT_TRUE(picture.ok()) << picture.message();
    EXPECT_EQ(describePicture(*picture), "16 x 16, BC7, 5 mips");
    EXPECT_EQ(picture->rgba, *decodeBlocks(BlockFormat::BC7, bc7Blocks(16), 16, 16));
}

TEST(RrtexTest, RefusalsNameWhatIsWrong) {
    const auto level0 = mipRecord(0, 4, 4, bc7Blocks(1));
    std::vector<uint8_t> notZlib(20, 0xAB);
    struct Case {
        std::string name;
        std::vector<uint8_t> file;
        std::string message;
    };
    const Case cases[] = {
        {"format code", sampleTexture(71), "RRTEX: format code 71 cannot be shown (28, BC7, can)"},
        {"huge", rrtexFile(65535, 65535, 28, 1, {{{level0, false}}}),
         "RRTEX: picture of 65535 x 65535 is beyond the limit of 16384 x 16384"},
        {"record of another size", rrtexFile(8, 8, 28, 1, {{{level0, false}}}),
         "RRTEX: the largest mip record is level 0 of 4 x 4, not level 0 of 8 x 8"},
        {"short blocks", rrtexFile(4, 4, 28, 1, {{{mipRecord(0, 4, 4, std::vector<uint8_t>(15)), false}}}),
         "RRTEX: mip record 1 holds 15 bytes of blocks; 4 x 4 needs 16"},
        {"no entries", rrtexFile(4, 4, 28, 1, {}),
         "RRTEX: mip entry count 0 at offset 29 of DATATMAN is not 1 to 32"},
        {"record larger than its level", rrtexFile(4, 4, 28, 1, {{{mipRecord(0, 4, 4, std::vector<uint8_t>(17)), false}}}),
         "RRTEX: mip entry 1 unpacks to 33 bytes; a 4 x 4 BC7 record has at most 32"},
        {"no chunks", test::chunkyFile(4, {}), "RRTEX: no DATATMAN chunk"},
        {"not chunky", std::vector<uint8_t>(30, 1), "RRTEX: Relic Chunky: no \"Relic Chunky\" signature at offset 0"},
    };
    for (const Case& c : cases) {
        const auto picture = decodeRrtex(c.file);
        ASSERT_FALSE(picture.ok()) << c.name;
        EXPECT_EQ(picture.message(), c.message) << c.name;
    }
}

TEST(RrtexTest, BrokenPiecesAreRefused) {
    // A zlib piece whose bytes are damaged, and one that claims to unpack to more than it can.
    auto file = sampleTexture();
    const auto good = decodeRrtex(file);
    ASSERT_TRUE(good.ok());
    const size_t tdatEnd = file.size();
    // The raw tail piece of level 0 is last; the zlib head piece ends just before it.
    file[tdatEnd - 72 - 5] ^= 0xFF;
    const auto damaged = decodeRrtex(file);
    ASSERT_FALSE(damaged.ok());
    EXPECT_EQ(damaged.message(), "RRTEX: piece 1 of mip entry 5 is not a zlib stream of 200 bytes");
}

TEST(RrtexTest, EveryPrefixAndChangedByteIsHandled) {
    const auto file = sampleTexture();
    for (size_t n = 0; n < file.size(); ++n) {
        const auto picture = decodeRrtex(std::span<const uint8_t>(file.data(), n));
        EXPECT_FALSE(picture.ok()) << n;
    }
    for (size_t at = 0; at < file.size(); ++at)
        for (uint8_t value : {uint8_t{0}, uint8_t{0xFF}, static_cast<uint8_t>(file[at] ^ 1)}) {
            auto changed = file;
            changed[at] = value;
            const auto picture = decodeRrtex(changed);
            if (picture.ok()) EXPECT_EQ(picture->rgba.size(), static_cast<size_t>(picture->width) * static_cast<size_t>(picture->height) * 4);
            else EXPECT_FALSE(picture.message().empty());
        }
}

} // namespace
} // namespace sga
