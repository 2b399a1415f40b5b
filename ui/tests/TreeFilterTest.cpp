// Find's matching and narrowing, and the hex dump, without a window.

#include "archive/ArchiveOpen.h"
#include "ui/HexDump.h"
#include "ui/TreeFilter.h"

#include <gtest/gtest.h>

#include <set>

namespace sga::ui {
namespace {

TEST(TreeFilter, WildcardsAndSubstrings) {
    struct Case {
        const char* path;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"art\\a.lua", "a.lua", true},
        {"art\\a.lua", "A.LUA", true},
        {"art\\a.lua", "t\\a", true},
        {"art\\a.lua", "t/a", true},            // "/" counts as "\"
        {"art\\a.lua", "b.lua", false},
        {"art\\a.lua", "*.lua", true},          // "*" crosses "\"
        {"art\\a.lua", "*.LU?", true},
        {"art\\a.lua", "*.lu", false},          // a pattern covers the whole path
        {"art\\a.lua", "a.*", true},            // ... or a tail after a "\"
        {"art\\a.lua", "rt\\*", false},         // ... but not from inside a name
        {"ship\\hgn_scout\\hgn_scout.ship", "ship\\hgn_*", true},
        {"data\\ship\\hgn_scout\\x.lua", "ship\\hgn_*", true},
        {"ship\\kus_scout\\hgn.lua", "ship\\hgn_*", false},
        {"a.lua", "?.lua", true},
        {"ab.lua", "?.lua", false},
        {"ab.lua", "**b*", true},
        {"readme", "", false},
        {"Caf\xC9\\x.txt", "caf\xC3\xA9", true},   // Windows-1252 text, typed in UTF-8
    };
    const TreeFilter filter;
    for (const Case& c : cases)
        EXPECT_EQ(filter.matches(c.path, c.text), c.match) << c.path << " / " << c.text;

    struct Glob {
        const char* pattern;
        const char* text;
        bool match;
    };
    const Glob globs[] = {{"*", "", true},       {"", "", true},          {"", "a", false},
                          {"a*b*c", "axxbyyc", true}, {"a*b*c", "axxbyy", false},
                          {"*a*a", "banana", true},   {"?", "", false}};
    for (const Glob& g : globs) EXPECT_EQ(wildcardMatch(g.pattern, g.text), g.match) << g.pattern << " / " << g.text;
}

// art\a.lua, art\fx\spark.tga, art\fx\smoke.lua, readme.txt; folder "empty".
ArchiveTree sampleTree(bool utf8 = false) {
    ArchiveModel model;
    model.encoding = utf8 ? TextEncoding::Utf8 : TextEncoding::Cp1252;
    model.folders = {{.path = "art"}, {.path = "art\\fx", .parent = 0}, {.path = "empty"}};
    model.files = {{.name = "a.lua", .folder = "art", .folderIndex = 0},
                   {.name = "spark.tga", .folder = "art\\fx", .folderIndex = 1},
                   {.name = "smoke.lua", .folder = "art\\fx", .folderIndex = 1},
                   {.name = "readme.txt"}};
    return treeFromModel(model, "data.big");
}

std::set<std::string> shownTexts(const ArchiveTree& tree, const FilteredTree& f) {
    std::set<std::string> out;
    for (size_t i = 0; i < tree.size(); ++i)
        if (f.shown[i]) out.insert(tree[i].text);
    return out;
}

TEST(TreeFilter, ApplyKeepsMatchesAndTheFoldersAboveThem) {
    const ArchiveTree tree = sampleTree();
    const TreeFilter filter(tree);
    struct Case {
        const char* text;
        int matches;
        std::set<std::string> shown;
    };
    const Case cases[] = {
        {"*.lua", 2, {"data.big", "art", "fx", "a.lua", "smoke.lua"}},
        {"spark", 1, {"data.big", "art", "fx", "spark.tga"}},
        {"README", 1, {"data.big", "readme.txt"}},
        {"art", 3, {"data.big", "art", "fx", "a.lua", "spark.tga", "smoke.lua"}},
        {"nothing", 0, {}},
        {"", 0, {}},
        {"empty", 0, {}},   // folders themselves never match
    };
    for (const Case& c : cases) {
        const FilteredTree f = filter.apply(c.text);
        EXPECT_EQ(f.matches, c.matches) << c.text;
        EXPECT_EQ(shownTexts(tree, f), c.shown) << c.text;
        // Children lists hold exactly the shown children, in tree order.
        for (size_t i = 0; i < tree.size(); ++i) {
            std::vector<int> expected;
            if (f.shown[i])
                for (int child : tree[i].children)
                    if (f.shown[static_cast<size_t>(child)]) expected.push_back(child);
            const auto got = f.children(static_cast<int>(i));
            EXPECT_EQ(std::vector<int>(got.begin(), got.end()), expected) << c.text << " node " << i;
        }
        EXPECT_EQ(f.topLevel.size(), c.shown.empty() ? 0u : 1u) << c.text;
    }
}

TEST(TreeFilter, Utf8TreesFoldLatinLetters) {
    ArchiveModel model;
    model.encoding = TextEncoding::Utf8;
    model.files = {{.name = "\xC3\x89t\xC3\xA9.txt"}, {.name = "other.txt"}};
    const ArchiveTree tree = treeFromModel(model, "x.sga");
    const TreeFilter filter(tree);
    EXPECT_EQ(filter.apply("\xC3\xA9t\xC3\x89").matches, 1);
    EXPECT_EQ(filter.apply("*.TXT").matches, 2);
}

TEST(HexDump, LinesOffsetsAndCharacters) {
    struct Case {
        std::string bytes;
        std::string dump;
    };
    const Case cases[] = {
        {"", ""},
        {"no dot", "00000000  6E 6F 20 64 6F 74                                 no dot\n"},
        {std::string("\x00\x01" "ABCDEFGHIJKLMNOPQ", 19),
         "00000000  00 01 41 42 43 44 45 46  47 48 49 4A 4B 4C 4D 4E  ..ABCDEFGHIJKLMN\n"
         "00000010  4F 50 51                                          OPQ\n"},
        {"\x7F\xFF~ ", "00000000  7F FF 7E 20                                       ..~ \n"},
    };
    for (const Case& c : cases) {
        const auto* data = reinterpret_cast<const uint8_t*>(c.bytes.data());
        EXPECT_EQ(hexDump(data, c.bytes.size()), c.dump);
    }
    // Only the first 64 KiB, then what was left out.
    const std::vector<uint8_t> big(kHexPreviewBytes + 100, 0x41);
    const std::string dump = hexDump(big.data(), big.size());
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), static_cast<long>(kHexPreviewBytes / 16 + 1));
    EXPECT_NE(dump.find("0000FFF0  41"), std::string::npos);
    EXPECT_EQ(dump.find("00010000"), std::string::npos);
    EXPECT_TRUE(dump.ends_with("... 100 more bytes not shown\n"));
}

} // namespace
} // namespace sga::ui
