// Relic Chunky: the chunk tree of each header version, sizes checked against
// the parent, nesting capped, and hostile bytes refused cleanly.
#include "preview/ChunkyReader.h"
#include "preview/tests/ChunkyBuilder.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using test::TestChunk;

// One line per chunk, indented by depth, as the command line prints the tree.
void flatten(const std::vector<ChunkyChunk>& chunks, int depth, std::vector<std::string>& out) {
    for (const ChunkyChunk& c : chunks) {
        out.push_back(std::string(2 * depth, ' ') + describeChunk(c));
        flatten(c.children, depth + 1, out);
    }
}

std::vector<TestChunk> sampleTree() {
    return {TestChunk{"FOLDTSET", 1, "", {}, {
                TestChunk{"DATADATA", 4, "", {}, {}},
                TestChunk{"FOLDTXTR", 2, "art/a.tga", {}, {
                    TestChunk{"DATATMAN", 2, "", {1, 2, 3, 4, 5}, {}}}}}},
            TestChunk{"DATAAEGD", 3, "x", {9, 9}, {}}};
}

TEST(ChunkyTest, TreeOfEveryHeaderVersion) {
    struct Case {
        uint32_t version;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {1, {"FOLD TSET v1 \"\" 75 bytes at 0x18", "  DATA DATA v4 \"\" 0 bytes at 0x2C",
             "  FOLD TXTR v2 \"art/a.tga\" 25 bytes at 0x40", "    DATA TMAN v2 \"\" 5 bytes at 0x5E",
             "DATA AEGD v3 \"x\" 2 bytes at 0x77"}},
        {4, {"FOLD TSET v1 \"\" 75 bytes at 0x18", "  DATA DATA v4 \"\" 0 bytes at 0x2C",
             "  FOLD TXTR v2 \"art/a.tga\" 25 bytes at 0x40", "    DATA TMAN v2 \"\" 5 bytes at 0x5E",
             "DATA AEGD v3 \"x\" 2 bytes at 0x77"}},
        {3, {"FOLD TSET v1 \"\" 99 bytes at 0x24", "  DATA DATA v4 \"\" 0 bytes at 0x40",
             "  FOLD TXTR v2 \"art/a.tga\" 33 bytes at 0x5C", "    DATA TMAN v2 \"\" 5 bytes at 0x82",
             "DATA AEGD v3 \"x\" 2 bytes at 0xA3"}},
    };
    for (const Case& c : cases) {
        const auto bytes = test::chunkyFile(c.version, sampleTree());
        const auto file = readChunky(bytes);
        ASSERT_TRUE(file.ok()) << c.version << ": " << file.message();
        EXPECT_EQ(file->version, c.version);
        EXPECT_EQ(file->platform, 1u);
        std::vector<std::string> lines;
        flatten(file->chunks, 0, lines);
        EXPECT_EQ(lines, c.lines) << "version " << c.version;
        const auto tman = findChunks(file->chunks, "DATATMAN");
        ASSERT_EQ(tman.size(), 1u);
        const auto data = chunkData(bytes, *tman[0]);
        EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    }
}

TEST(ChunkyTest, AnotherVersionIsReadByTheLayoutItsHeaderMatches) {
    auto bytes = test::chunkyFile(3, sampleTree());
    bytes[16] = 7;   // a version 7 with the longer header
    auto file = readChunky(bytes);
    ASSERT_TRUE(file.ok()) << file.message();
    EXPECT_EQ(file->version, 7u);
    EXPECT_EQ(file->chunks.size(), 2u);
    bytes = test::chunkyFile(1, sampleTree());
    bytes[16] = 2;
    file = readChunky(bytes);
    ASSERT_TRUE(file.ok()) << file.message();
    EXPECT_EQ(file->chunks.size(), 2u);
    bytes[24] = 'X';   // a broken version-2 file says how it was read
    file = readChunky(bytes);
    ASSERT_FALSE(file.ok());
    EXPECT_EQ(file.message(), "Relic Chunky: chunk kind \"XOLD\" (not FOLD or DATA) at offset 24 "
                              "(header version 2, read as version 1)");
}

TEST(ChunkyTest, RefusalsNameTheFieldAndOffset) {
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string message;
    };
    auto tooBig = test::chunkyFile(1, {TestChunk{"FOLDTSET", 1, "", {}, {TestChunk{"DATAHEAD", 1, "", {1, 2}, {}}}}});
    tooBig[24 + 20 + 12] = 3;   // the child claims 3 bytes; its parent holds 2
    auto longName = test::chunkyFile(1, {TestChunk{"DATAHEAD", 1, "ab", {}, {}}});
    longName[24 + 16] = 50;
    auto shortTail = test::chunkyFile(1, {TestChunk{"DATAHEAD", 1, "", {}, {}}});
    shortTail.resize(shortTail.size() + 7);
    auto badKind = test::chunkyFile(1, {TestChunk{"LIST0001", 1, "", {}, {}}});
    auto badTag = test::chunkyFile(1, {TestChunk{std::string("DATA\x01\x02\x03\x04", 8), 1, "", {}, {}}});
    auto v3Offset = test::chunkyFile(3, {});
    v3Offset[24] = 200;
    auto v3Header = test::chunkyFile(3, {});
    v3Header[28] = 32;
    auto ending = test::chunkyFile(1, {});
    ending[13] = 0;
    const Case cases[] = {
        {"child larger than parent", tooBig,
         "Relic Chunky: data of 3 bytes of chunk DATAHEAD runs past its parent (2 bytes left) at offset 44"},
        {"name past the end", longName, "Relic Chunky: name of 50 bytes of chunk DATAHEAD runs past its parent at offset 24"},
        {"bytes after the last chunk", shortTail,
         "Relic Chunky: 7 bytes left, too few for a chunk header, at offset 44"},
        {"kind", badKind, "Relic Chunky: chunk kind \"LIST\" (not FOLD or DATA) at offset 24"},
        {"id", badTag, "Relic Chunky: chunk header without a four-letter kind and id at offset 24"},
        {"first chunk offset", v3Offset, "Relic Chunky: first chunk offset 200 outside the file at offset 24"},
        {"chunk header size", v3Header, "Relic Chunky: chunk header size 32 (28 can be read) at offset 28"},
        {"signature ending", ending, "Relic Chunky: signature without its 0D 0A 1A 00 ending at offset 12"},
        {"no signature", std::vector<uint8_t>(40, 'R'), "Relic Chunky: no \"Relic Chunky\" signature at offset 0"},
    };
    for (const Case& c : cases) {
        const auto file = readChunky(c.bytes);
        ASSERT_FALSE(file.ok()) << c.name;
        EXPECT_EQ(file.message(), c.message) << c.name;
    }
}

TEST(ChunkyTest, NestingIsCapped) {
    auto nested = [](int depth) {
        TestChunk chunk{"DATALEAF", 1, "", {}, {}};
        for (int i = 1; i < depth; ++i) chunk = TestChunk{"FOLDNEST", 1, "", {}, {chunk}};
        return test::chunkyFile(1, {chunk});
    };
    EXPECT_TRUE(readChunky(nested(kMaxChunkDepth)).ok());
    const auto deep = readChunky(nested(kMaxChunkDepth + 1));
    ASSERT_FALSE(deep.ok());
    EXPECT_NE(deep.message().find("nested deeper than 32 levels"), std::string::npos) << deep.message();
}

TEST(ChunkyTest, EveryPrefixAndChangedByteIsHandled) {
    for (uint32_t version : {1u, 3u}) {
        const auto bytes = test::chunkyFile(version, sampleTree());
        for (size_t n = 0; n < bytes.size(); ++n) {
            const auto file = readChunky(std::span<const uint8_t>(bytes.data(), n));
            // Cutting exactly between top-level chunks leaves a valid file.
            if (file.ok()) EXPECT_TRUE(n == (version == 3 ? 36u : 24u) || n == (version == 3 ? 0xA3u : 0x77u)) << n;
            else EXPECT_FALSE(file.message().empty());
        }
        for (size_t at = 0; at < bytes.size(); ++at)
            for (int bit = 0; bit < 8; ++bit) {
                auto changed = bytes;
                changed[at] ^= static_cast<uint8_t>(1u << bit);
                const auto file = readChunky(changed);
                if (!file.ok()) EXPECT_FALSE(file.message().empty());
                const std::vector<ChunkyChunk> chunks = file.ok() ? file->chunks : std::vector<ChunkyChunk>{};
                for (const ChunkyChunk* c : findChunks(chunks, "DATATMAN"))
                    EXPECT_LE(c->dataOffset + c->size, changed.size());
            }
    }
}

} // namespace
} // namespace sga
