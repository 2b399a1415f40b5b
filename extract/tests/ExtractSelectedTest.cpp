#include "extract/EntryData.h"
#include "extract/tests/ExtractFixture.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

struct Selected {
    MemoryLog log;
    RecordingHost host;
    ExtractReport report;
};

// The key and text of the tree node whose text is text.
std::pair<std::string, std::string> node(const LoadedFixture& f, const std::string& text) {
    for (const auto& n : f.tree.nodes())
        if (n.text == text) return {n.key, n.text};
    ADD_FAILURE() << "no node " << text;
    return {};
}

void select(const LoadedFixture& f, Selected& s, const std::string& text) {
    const auto [key, nodeText] = node(f, text);
    s.report = extractSelected(f.context(s.log, s.host), key, nodeText);
}

TEST(ExtractSelected, FileNodeIsWrittenBesideTheArchive) {
    const ArchivePlan plan = smallArchive();
    LoadedFixture f(plan);
    Selected s;
    select(f, s, "spark.tga");
    const std::string in = f.index.archiveFolder;
    const FileEntry& e = f.index.entries[4];
    EXPECT_EQ(s.log.lines,
              (std::vector<std::string>{"Making directory: " + f.out().string() + "/Data/",
                                        "Decompressing: spark.tga",
                                        "decompressing " + std::to_string(e.compSize) +
                                            ": spark.tga at pos: " + std::to_string(e.filePos + 257),
                                        padLineOf(plan.files[2].data), "result 0",
                                        "Making directory: " + in + "art/fx"}));
    EXPECT_EQ(s.host.calls, (std::vector<std::string>{"busy", "idle"}));
    EXPECT_EQ(readFile(in + "art/fx/spark.tga"), plan.files[2].data);
    EXPECT_EQ(s.report.written, 1);

    // Again: the data folder and the file folder exist, the file is rewritten.
    Selected again;
    select(f, again, "spark.tga");
    EXPECT_EQ(again.log.lines.size(), 4u);
    EXPECT_EQ(again.log.lines[0], "Decompressing: spark.tga");
    EXPECT_EQ(readFile(in + "art/fx/spark.tga"), plan.files[2].data);
}

TEST(ExtractSelected, TopLevelFileAndFdaNameKeptAsIs) {
    ArchivePlan plan;
    plan.files = {{.name = "ai.fda", .data = textBytes("ai"), .compress = true},
                  {.name = "empty.txt", .data = {}}};
    LoadedFixture f(plan);
    Selected s;
    select(f, s, "ai.fda");
    EXPECT_EQ(s.log.lines.back(), "result 0");
    EXPECT_EQ(readFile(f.index.archiveFolder + "ai.fda"), textBytes("ai"));
    Selected empty;
    select(f, empty, "empty.txt");
    EXPECT_TRUE(fs::exists(f.index.archiveFolder + "empty.txt"));
    EXPECT_TRUE(readFile(f.index.archiveFolder + "empty.txt").empty());
}

TEST(ExtractSelected, DirectoryNodeOnlyCreatesTheDirectory) {
    LoadedFixture f(smallArchive());
    Selected s;
    select(f, s, "fx");
    EXPECT_EQ(s.log.lines, (std::vector<std::string>{"Making directory: " + f.out().string() + "/Data/",
                                                     "Making directory: art\\fx"}));
    EXPECT_EQ(treeOf(f.out()), (std::set<std::string>{"Data/", "Data/art/", "Data/art/fx/"}));
    Selected again;
    select(f, again, "fx");
    EXPECT_TRUE(again.log.lines.empty());
    EXPECT_EQ(again.report.failed, 0);
}

TEST(ExtractSelected, RootAndNoSelectionDoNothing) {
    LoadedFixture f(smallArchive());
    Selected s;
    s.report = extractSelected(f.context(s.log, s.host), "root", "data.big");
    s.report = extractSelected(f.context(s.log, s.host), "", "");
    EXPECT_TRUE(s.log.lines.empty());
    EXPECT_FALSE(fs::exists(f.out()));
}

TEST(ExtractSelected, FailuresAreLoggedAndReported) {
    ArchivePlan plan;
    plan.dirs = {{"sub", 0}};
    plan.files = {{.name = "bad.lua", .data = textBytes("x"), .flag = 1, .stored = textBytes("junk")},
                  {.name = "good.lua", .data = textBytes("good")}};
    LoadedFixture f(plan);
    Selected bad;
    select(f, bad, "bad.lua");
    EXPECT_EQ(bad.report.failed, 1);
    EXPECT_EQ(bad.log.lines.back(), "Cannot extract bad.lua: " + describeEntryResult(kEntryBadData));
    EXPECT_FALSE(fs::exists(f.index.archiveFolder + "sub/bad.lua"));
    EXPECT_EQ(bad.host.calls, (std::vector<std::string>{"busy", "idle"}));

    // The folder beside the archive is taken by a file.
    f.dir.write("in/sub", textBytes("file"));
    Selected blocked;
    select(f, blocked, "good.lua");
    EXPECT_EQ(blocked.report.failed, 1);
    EXPECT_EQ(blocked.log.lines.back(),
              "Cannot create directory " + f.index.archiveFolder + "sub: a file of that name exists");

    Selected unknown;
    unknown.report = extractSelected(f.context(unknown.log, unknown.host), "x|99", "x");
    EXPECT_EQ(unknown.report.failed, 1);
    EXPECT_EQ(unknown.log.lines.back(), "Cannot extract x: the archive has no file entry 99");
}

TEST(ExtractSelected, SeveralMissingLevelsAreCreated) {
    ArchivePlan plan;
    plan.dirs = {{"a\\b\\c", 0}};
    plan.files = {{.name = "deep.txt", .data = textBytes("deep")}};
    LoadedFixture f(plan);
    Selected s;
    select(f, s, "deep.txt");
    EXPECT_EQ(readFile(f.index.archiveFolder + "a/b/c/deep.txt"), textBytes("deep"));
}

TEST(ExtractSelected, HostileNamesAreRefused) {
    ArchivePlan plan;
    plan.dirs = {{"..\\..", 0}};
    plan.files = {{.name = "escape.txt", .data = textBytes("x")}};
    LoadedFixture f(plan);
    const auto before = treeOf(f.dir.path());
    Selected file, dir;
    select(f, file, "escape.txt");
    select(f, dir, "..\\..");
    EXPECT_EQ(file.report.failed, 1);
    EXPECT_EQ(dir.report.failed, 1);
    EXPECT_EQ(file.log.lines.back(), "Skipped ..\\..\\escape.txt: unsafe name (path component \"..\")");
    auto after = treeOf(f.dir.path());
    after.erase("out/");
    after.erase("out/Data/");
    EXPECT_EQ(after, before);
}


// ---------------------------------------------------------------- several nodes

std::vector<SelectedNode> nodesOf(const LoadedFixture& f, const std::vector<std::string>& texts) {
    std::vector<SelectedNode> out;
    for (const auto& text : texts) {
        const auto [key, nodeText] = node(f, text);
        out.push_back({key, nodeText});
    }
    return out;
}

TEST(ExtractSelection, TargetsAndWhereEachNodeLands) {
    struct Case {
        std::vector<std::string> selected;
        bool fromSelectedNode;
        std::set<std::string> tree;      // below the target
        std::vector<std::string> items;  // relative to the target
        std::string summary;
    };
    const Case cases[] = {
        {{"a.lua", "readme.txt"}, false, {"art/", "art/a.lua", "readme.txt"}, {"art/a.lua", "readme.txt"},
         "2 files extracted"},
        {{"a.lua", "readme.txt"}, true, {"a.lua", "readme.txt"}, {"a.lua", "readme.txt"}, "2 files extracted"},
        {{"fx"}, true, {"fx/", "fx/spark.tga"}, {"fx"}, "1 file extracted"},
        {{"fx", "spark.tga", "spark.tga"}, false, {"art/", "art/fx/", "art/fx/spark.tga"}, {"art/fx"},
         "1 file extracted"},
        {{"art", "fx"}, true, {"art/", "art/a.lua", "art/fx/", "art/fx/spark.tga"}, {"art"}, "2 files extracted"},
        {{"data.big"}, true,
         {"data.big/", "data.big/art/", "data.big/art/a.lua", "data.big/art/fx/", "data.big/art/fx/spark.tga",
          "data.big/readme.txt"},
         {"data.big"}, "3 files extracted"},
        {{"data.big", "a.lua"}, false, {"art/", "art/a.lua", "art/fx/", "art/fx/spark.tga", "readme.txt"}, {""},
         "3 files extracted"},
    };
    const ArchivePlan plan = smallArchive();
    for (const Case& c : cases) {
        LoadedFixture f(plan);
        MemoryLog log;
        RecordingHost host;
        const fs::path target = f.dir.path() / "target";
        const SelectionReport r = extractSelection(f.context(log, host), nodesOf(f, c.selected),
                                                   {.target = target, .fromSelectedNode = c.fromSelectedNode});
        EXPECT_EQ(treeOf(target), c.tree) << c.summary;
        std::vector<std::string> items;
        for (const auto& item : r.items) items.push_back(fs::relative(item, target).generic_string());
        for (auto& item : items)
            if (item == ".") item.clear();
        EXPECT_EQ(items, c.items) << c.summary;
        EXPECT_EQ(r.report.summary, c.summary);
        EXPECT_EQ(log.lines.back(), c.summary);
        for (const auto& path : c.tree)
            if (!path.ends_with("/")) {
                const std::string name = fs::path(path).filename().string();
                for (const auto& file : plan.files)
                    if (file.name == name) {
                        EXPECT_EQ(readFile(target / path), file.data) << path;
                    }
            }
    }
}

TEST(ExtractSelection, BesideTheArchiveEachFileLogsAsOneFileNodeDoes) {
    const ArchivePlan plan = smallArchive();
    LoadedFixture one(plan), many(plan);
    Selected single;
    select(one, single, "spark.tga");
    MemoryLog log;
    RecordingHost host;
    const SelectionReport r = extractSelection(many.context(log, host), nodesOf(many, {"spark.tga", "readme.txt"}));
    EXPECT_EQ(r.report.written, 2);
    EXPECT_TRUE(r.items.empty());
    // The single node's lines after its data folder, with the other archive's folder.
    std::vector<std::string> expected(single.log.lines.begin() + 1, single.log.lines.end());
    for (auto& line : expected) {
        const auto at = line.find(one.index.archiveFolder);
        if (at != std::string::npos) line.replace(at, one.index.archiveFolder.size(), many.index.archiveFolder);
    }
    ASSERT_GE(log.lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(log.lines.begin(), log.lines.begin() + static_cast<long>(expected.size())),
              expected);
    EXPECT_EQ(log.lines.back(), "2 files extracted");
    EXPECT_EQ(readFile(many.index.archiveFolder + "art/fx/spark.tga"), plan.files[2].data);
    EXPECT_EQ(readFile(many.index.archiveFolder + "readme.txt"), plan.files[0].data);
    EXPECT_FALSE(fs::exists(many.out()));
}

TEST(ExtractSelection, RefusedAndUnreadableEntriesAreCounted) {
    ArchivePlan plan;
    plan.dirs = {{"..\\..", 0}, {"sub", 1}};
    plan.files = {{.name = "escape.txt", .data = textBytes("x")},
                  {.name = "bad.lua", .data = textBytes("x"), .flag = 1, .stored = textBytes("junk")},
                  {.name = "good.lua", .data = textBytes("good")}};
    LoadedFixture f(plan);
    const auto before = treeOf(f.dir.path());
    for (bool fromNode : {false, true}) {
        MemoryLog log;
        RecordingHost host;
        const fs::path target = f.dir.path() / (fromNode ? "t1" : "t2");
        const SelectionReport r = extractSelection(f.context(log, host), nodesOf(f, {"data.big"}),
                                                   {.target = target, .fromSelectedNode = fromNode});
        EXPECT_EQ(r.report.written, 1);
        EXPECT_EQ(r.report.failed, 3);   // the folder "..\..", escape.txt, bad.lua
        EXPECT_EQ(r.report.summary, "1 file extracted, 3 failed");
        EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                            "Skipped ..\\..\\escape.txt: unsafe name (path component \"..\")"),
                  log.lines.end());
    }
    auto after = treeOf(f.dir.path());
    std::erase_if(after, [](const std::string& p) { return p.starts_with("t1/") || p.starts_with("t2/"); });
    EXPECT_EQ(after, before);
}

} // namespace
} // namespace sga
