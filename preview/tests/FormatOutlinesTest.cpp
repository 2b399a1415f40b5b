// The outlines of Relic Chunky and RGD entries: columns, and each node's own bytes.
#include "preview/EntryDecoders.h"
#include "preview/FormatOutlines.h"
#include "preview/RgdFormat.h"
#include "preview/tests/ChunkyBuilder.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using test::appendLe32;
using test::TestChunk;

TEST(FormatOutlines, ChunkNodesPointAtTheirData) {
    const auto bytes = test::chunkyFile(
        1, {TestChunk{"FOLDTSET", 1, "set", {}, {TestChunk{"DATATMAN", 2, "", {7, 8, 9}, {}}}}});
    const auto outline = findEntryDecoder("x.whm")->decodeOutline(bytes);
    ASSERT_TRUE(outline.ok()) << outline.message();
    EXPECT_EQ(outline->headers, (std::vector<std::string>{"Chunk", "Version", "Name", "Size", "Offset"}));
    ASSERT_EQ(outline->roots.size(), 1u);
    const OutlineNode& fold = outline->roots[0];
    EXPECT_EQ(fold.columns, (std::vector<std::string>{"FOLD TSET", "v1", "set", "23", "0x18"}));
    ASSERT_EQ(fold.children.size(), 1u);
    const OutlineNode& data = fold.children[0];
    EXPECT_EQ(data.columns, (std::vector<std::string>{"DATA TMAN", "v2", "", "3", "0x30"}));
    ASSERT_EQ(data.size, 3u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + data.offset, bytes.begin() + data.offset + data.size),
              (std::vector<uint8_t>{7, 8, 9}));
    EXPECT_FALSE(findEntryDecoder("x.whm")->decodeOutline(std::span(bytes).first(30)).ok());
}

TEST(FormatOutlines, KeyNodesShowNameTypeValueAndBytes) {
    // health = { [1] = 5 } as a table holding a list entry, then hitpoints = 2.5
    std::vector<uint8_t> list;
    appendLe32(list, 1);
    for (uint32_t v : {1u, 1u, 0u, 5u}) appendLe32(list, v);
    std::vector<uint8_t> table;
    appendLe32(table, 2);
    for (uint32_t v : {0x2D909FCCu, 101u, 0u, 0xF0A351FDu, 0u, static_cast<uint32_t>(list.size())}) appendLe32(table, v);
    table.insert(table.end(), list.begin(), list.end());
    appendLe32(table, 0x40200000);   // 2.5
    std::vector<uint8_t> payload;
    appendLe32(payload, 0);
    appendLe32(payload, static_cast<uint32_t>(table.size()));
    payload.insert(payload.end(), table.begin(), table.end());
    const auto bytes = test::chunkyFile(1, {TestChunk{"DATAAEGD", 1, "", payload, {}}});
    const auto file = readRgd(bytes);
    ASSERT_TRUE(file.ok()) << file.message();
    RgdDictionary dictionary;
    dictionary.add(0x2D909FCC, "health");
    const EntryOutline outline = rgdOutline(*file, dictionary);
    EXPECT_EQ(outline.headers, (std::vector<std::string>{"Key", "Type", "Value"}));
    ASSERT_EQ(outline.roots.size(), 2u);
    EXPECT_EQ(outline.roots[0].columns, (std::vector<std::string>{"health", "list", ""}));
    ASSERT_EQ(outline.roots[0].children.size(), 1u);
    EXPECT_EQ(outline.roots[0].children[0].columns, (std::vector<std::string>{"1", "integer", "5"}));
    EXPECT_EQ(outline.roots[1].columns, (std::vector<std::string>{"0xF0A351FD", "float", "2.5"}));
    // The list's count and descriptor; the float's four bytes.
    EXPECT_EQ(outline.roots[0].size, 16u);
    const OutlineNode& hp = outline.roots[1];
    ASSERT_EQ(hp.size, 4u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + hp.offset, bytes.begin() + hp.offset + 4),
              (std::vector<uint8_t>{0, 0, 0x20, 0x40}));
}

} // namespace
} // namespace sga
