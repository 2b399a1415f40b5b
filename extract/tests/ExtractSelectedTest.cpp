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

} // namespace
} // namespace sga
