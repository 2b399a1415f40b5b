#include "archive/modSGA.h"
#include "tests/support/ArchiveWriter.h"
#include "tests/support/RecordingHost.h"
#include "core/ActivityLog.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using namespace sga::testing;

struct Row {
    std::string key, text, parentKey;
    bool operator==(const Row&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << "{" << r.key << ", " << r.text << ", " << r.parentKey << "}";
}

std::vector<Row> rows(const ArchiveTree& tree) {
    std::vector<Row> out;
    for (const auto& n : tree.nodes())
        out.push_back({n.key, n.text, n.parent < 0 ? "-" : tree[static_cast<size_t>(n.parent)].key});
    return out;
}

ArchiveTree loadTree(const ArchivePlan& plan, ArchiveIndex* indexOut = nullptr,
                     const std::string& fileName = "data.big") {
    TempDir dir;
    ArchiveIndex index;
    ArchiveTree tree;
    NullLog log;
    RecordingHost host;
    Status s = openArchive(dir.write(fileName, buildArchive(plan)), index, tree, log, host);
    EXPECT_TRUE(s.ok()) << s.message();
    if (indexOut) *indexOut = index;
    return tree;
}

TEST(ArchiveTree, WorkedExample) {
    ArchivePlan plan;
    plan.dirs = {{"art", 1}, {"art\\textures", 2}};
    plan.files = {{.name = "readme.txt"}, {.name = "a.lua"}, {.name = "rock.tga"}};
    ArchiveIndex index;
    ArchiveTree tree = loadTree(plan, &index);
    const std::vector<Row> expected = {
        {"root", "data.big", "-"},
        {"d..art", "art", "root"},
        {"d..art\\textures", "textures", "d..art"},
        {"readme.txt|3", "readme.txt", "root"},
        {"art\\a.lua|4", "a.lua", "d..art"},
        {"art\\textures\\rock.tga|5", "rock.tga", "d..art\\textures"},
    };
    EXPECT_EQ(rows(tree), expected);
    for (const auto& n : tree.nodes()) EXPECT_EQ(n.expanded, n.key == "root") << n.key;

    const NodeRef ref = decodeNodeKey("art\\textures\\rock.tga|5");
    EXPECT_EQ(ref.kind, NodeRef::Kind::File);
    EXPECT_EQ(ref.entryNumber, 5);
    EXPECT_EQ(index.entries[static_cast<size_t>(ref.entryNumber - 1)].name, "rock.tga");
    EXPECT_EQ(ref.path, "art\\textures\\rock.tga");
}

TEST(ArchiveTree, ChildListedBeforeItsParentHangsUnderTheRoot) {
    ArchivePlan plan;
    plan.dirs = {{"art\\fx", 0}, {"art", 1}};
    plan.files = {{.name = "spark.tga"}, {.name = "base.lua"}};
    const std::vector<Row> expected = {
        {"root", "data.big", "-"},
        {"d..art\\fx", "art\\fx", "root"},
        {"d..art", "art", "root"},
        {"art\\fx\\spark.tga|3", "spark.tga", "d..art\\fx"},
        {"art\\base.lua|4", "base.lua", "d..art"},
    };
    EXPECT_EQ(rows(loadTree(plan)), expected);
}

TEST(ArchiveTree, SharedStartGoesToTheLaterDirectoryAndOwnersCarryOver) {
    ArchivePlan plan;
    plan.dirs = {{"empty", 1}, {"full", 1}, {"late", 3}};
    plan.files = {{.name = "top.txt"}, {.name = "x.lua"}, {.name = "y.lua"}, {.name = "x.lua"}};
    const std::vector<Row> expected = {
        {"root", "data.big", "-"},
        {"d..empty", "empty", "root"},
        {"d..full", "full", "root"},
        {"d..late", "late", "root"},
        {"top.txt|4", "top.txt", "root"},
        {"full\\x.lua|5", "x.lua", "d..full"},
        {"full\\y.lua|6", "y.lua", "d..full"},   // no owner: stays in the current directory
        {"late\\x.lua|7", "x.lua", "d..late"},
    };
    EXPECT_EQ(rows(loadTree(plan)), expected);
}

TEST(ArchiveTree, SameNamesGetDistinctKeys) {
    ArchivePlan plan;
    plan.files = {{.name = "x.lua"}, {.name = "x.lua"}};
    ArchiveTree tree = loadTree(plan);
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[1].key, "x.lua|1");
    EXPECT_EQ(tree[2].key, "x.lua|2");
}

TEST(ArchiveTree, DuplicateDirectoryNamesShareOneNode) {
    ArchivePlan plan;
    plan.dirs = {{"a", 0}, {"a", 1}};
    plan.files = {{.name = "one.txt"}, {.name = "two.txt"}};
    const std::vector<Row> expected = {
        {"root", "data.big", "-"},
        {"d..a", "a", "root"},
        {"a\\one.txt|3", "one.txt", "d..a"},
        {"a\\two.txt|4", "two.txt", "d..a"},
    };
    EXPECT_EQ(rows(loadTree(plan)), expected);
}

TEST(ArchiveTree, KeyLookups) {
    ArchiveTree tree;
    const int root = tree.add(-1, "root", "x.big");
    tree.add(root, "d..art", "art");
    tree.add(1, "d..art\\fx", "fx");
    tree.add(root, "d..Art", "Art");
    EXPECT_EQ(parentDirKey(tree, "art"), "");
    EXPECT_EQ(parentDirKey(tree, "art\\fx"), "d..art");
    EXPECT_EQ(parentDirKey(tree, "art\\fx\\ui"), "d..art\\fx");
    EXPECT_EQ(parentDirKey(tree, "art\\"), "d..art");
    EXPECT_EQ(parentDirKey(tree, "sound\\fx"), "");
    EXPECT_EQ(findDirKey(tree, "art"), "d..art");
    EXPECT_EQ(findDirKey(tree, "ART"), "");
    EXPECT_EQ(countBackslashes(""), 0);
    EXPECT_EQ(countBackslashes("a\\b\\\\c"), 3);
    // A second node with an existing key is refused.
    EXPECT_EQ(tree.add(root, "d..art", "again"), 1);
    EXPECT_EQ(tree.size(), 4u);
}

TEST(ArchiveTree, DecodingKeys) {
    EXPECT_EQ(decodeNodeKey("root").kind, NodeRef::Kind::Root);
    EXPECT_EQ(decodeNodeKey("d..art").kind, NodeRef::Kind::Directory);
    EXPECT_EQ(decodeNodeKey("d..art").path, "art");
    // A top-level file whose name begins with "d.." reads as a directory key.
    EXPECT_EQ(decodeNodeKey("d..x.lua|3").kind, NodeRef::Kind::Directory);
    EXPECT_EQ(decodeNodeKey("a|b.txt|12").entryNumber, 12);
    EXPECT_EQ(decodeNodeKey("a|b.txt|12").path, "a|b.txt");
    EXPECT_EQ(decodeNodeKey("nonumber").entryNumber, 0);
    EXPECT_EQ(decodeNodeKey("x|99999999999999999999").entryNumber, 0);
}

} // namespace
} // namespace sga
