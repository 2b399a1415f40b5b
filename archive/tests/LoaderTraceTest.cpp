#include "core/FileReader.h"
#include "archive/modSGA.h"
#include "tests/support/ArchiveWriter.h"
#include "tests/support/RecordingHost.h"
#include "core/ActivityLog.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using namespace sga::testing;

// The worked example: two directories, a file at the top level and one in each.
ArchivePlan examplePlan() {
    ArchivePlan plan;
    plan.dirs = {{"art", 1}, {"art\\textures", 2}};
    plan.files = {{.name = "readme.txt", .data = textBytes("hello")},
                  {.name = "a.lua", .data = textBytes("print(1)")},
                  {.name = "rock.tga", .data = Bytes(10, 7)}};
    return plan;
}

struct Loaded {
    ArchiveIndex index;
    ArchiveTree tree;
    MemoryLog log;
    RecordingHost host;
    Status status;
};

void load(Loaded& out, const std::filesystem::path& path) {
    out.status = openArchive(path, out.index, out.tree, out.log, out.host);
}

TEST(LoaderTrace, WholeTraceOfAVersion2Archive) {
    TempDir dir;
    auto path = dir.write("data.big", buildArchive(examplePlan()));
    Loaded l;
    load(l, path);
    ASSERT_TRUE(l.status.ok()) << l.status.message();

    const std::string dirHeading = "Directory entries:" + std::string(30, ' ') +
                                   "       toc     start      int2      int3      int4";
    const std::string fileHeading = "File entries:" + std::string(35, ' ') +
                                    "       toc      null   filePos  compSize   orgSize";
    const std::vector<std::string> expected = {
        "Opened " + path.string() + " successfully!",
        "Engine Archive",
        "Data",
        " 2 ",
        "  Total entries: 6",
        "  Directories: 2",
        "  Filenames: 3",
        "0 Current pos: 341",
        "noOfChunks: 3 (hex: 3)",
        "numOfRecords: 3",
        "totalEntries: 5",
        "    1:         0         0         0         1         0",
        "    2:         0         1         1         2         1",
        "    3:         0         2         2         3         2",
        "1 Current pos: 377 3",
        "myEngineData.noOfChunks: 3",
        "2 Current pos: 431",
        "",
        dirHeading,
        "    1: " + pad("art", 41) + "         0         4         1         2         1",
        "    2: " + pad("art\\textures", 41) + "         0         5         2         3         2",
        fileHeading,
        "    1: " + pad("readme.txt", 41) + "         0         0       473         4         5",
        "    2: " + pad("a.lua", 41) + "         0         0       742         7         8",
        "    3: " + pad("rock.tga", 41) + "         0         0      1014         9        10",
        "",
        "3 Current pos: 474",
        "Parsing treeview...",
        "Finished parsing - 5 entries found.",
        "Open SGA finished!",
    };
    EXPECT_EQ(l.log.lines, expected);
    // Each logged heading has 49 characters before its first column and
    // lines up with the row under it.
    for (size_t heading : {size_t{18}, size_t{21}}) {
        ASSERT_LT(heading + 1, l.log.lines.size());
        EXPECT_EQ(l.log.lines[heading].find("      toc"), 49u) << l.log.lines[heading];
        EXPECT_EQ(l.log.lines[heading].size(), l.log.lines[heading + 1].size()) << heading;
    }
    EXPECT_EQ(l.host.statusText, "5 entries found.");
    EXPECT_EQ(l.index.nameTablePos, 431);
    EXPECT_EQ(l.index.archiveFolder, dir.path().string() + "/");
}

TEST(LoaderTrace, IndexHoldsAdjustedValues) {
    TempDir dir;
    auto path = dir.write("data.big", buildArchive(examplePlan()));
    Loaded l;
    load(l, path);
    ASSERT_TRUE(l.status.ok());
    const ArchiveIndex& idx = l.index;
    EXPECT_EQ(idx.magic, "_ARCHIVE");
    EXPECT_EQ(idx.version, 2);
    EXPECT_EQ(idx.dirCount(), 2);
    EXPECT_EQ(idx.totalEntries(), 5);
    EXPECT_EQ(idx.myEngineData.noOfChunks, 3);
    ASSERT_EQ(idx.dirRecords.size(), 3u);
    EXPECT_EQ(idx.dirRecords[0].start, 2);   // stored 0 + dirCount
    EXPECT_EQ(idx.dirRecords[1].start, 3);
    EXPECT_EQ(idx.dirRecords[2].start, 4);
    ASSERT_EQ(idx.entries.size(), 5u);
    EXPECT_EQ(idx.entries[0].name, "art");
    EXPECT_EQ(idx.entries[0].filePos, 0);
    EXPECT_EQ(idx.entries[2].name, "readme.txt");
    EXPECT_EQ(idx.entries[2].filePos, 473);   // the block, 264 bytes before the data
    EXPECT_EQ(idx.entries[2].compSize, 4);
    EXPECT_EQ(idx.entries[4].dirName, "art\\textures");
    EXPECT_EQ(idx.dataOffset, 473);
}

TEST(LoaderTrace, Version1PositionsAndHexCount) {
    ArchivePlan plan = examplePlan();
    plan.version = 1;
    plan.tocChunks = 300;
    TempDir dir;
    Loaded l;
    load(l, dir.write("a.sga", buildArchive(plan)));
    ASSERT_TRUE(l.status.ok()) << l.status.message();
    EXPECT_EQ(l.log.lines[1], "IC Mod Archive");
    EXPECT_EQ(l.log.lines[3], " 1 ");
    EXPECT_EQ(l.log.lines[7], "0 Current pos: 325");
    EXPECT_EQ(l.log.lines[8], "noOfChunks: 300 (hex: 12C)");
    EXPECT_EQ(l.log.lines[14], "1 Current pos: 361 300");
    EXPECT_EQ(l.log.lines[15], "myEngineData.noOfChunks: 3");
    EXPECT_EQ(l.index.myEngineData.noOfChunks, 3);
}

TEST(LoaderTrace, UnknownVersionsUseTheVersion1Layout) {
    for (int32_t version : {3, 7, 0}) {
        ArchivePlan plan = examplePlan();
        plan.version = version;
        TempDir dir;
        Loaded l;
        load(l, dir.write("a.sga", buildArchive(plan)));
        ASSERT_TRUE(l.status.ok()) << version << ": " << l.status.message();
        if (version == 3) {
            EXPECT_EQ(l.log.lines[1], "Unknown archive!");
            EXPECT_EQ(l.log.lines[2], "Data");
        } else {
            EXPECT_EQ(l.log.lines[1], "Data");   // no version text at all
        }
        EXPECT_EQ(l.index.totalEntries(), 5);
        EXPECT_EQ(l.index.entries[3].name, "a.lua");
    }
}

TEST(LoaderTrace, LocaleArchiveReadsOneRecordMore) {
    ArchivePlan plan;
    plan.archiveName = "HW2LocaleArchive";
    plan.wideName = true;
    for (int i = 0; i < 100; ++i) plan.files.push_back({.name = "f" + std::to_string(i) + ".txt", .data = textBytes("x")});
    plan.countAfterDirs = 99;
    TempDir dir;
    Loaded l;
    load(l, dir.write("locale.big", buildArchive(plan)));
    ASSERT_TRUE(l.status.ok()) << l.status.message();
    EXPECT_EQ(l.log.lines[2], "HW2LocaleArchive");
    EXPECT_EQ(l.index.entries[99].name, "f99.txt");
    EXPECT_EQ(l.index.entries[99].compSize, 0);
    EXPECT_EQ(l.index.entries[99].filePos, l.index.entries[98].filePos + 265);

    // With the true count, the locale rule reads one record too many ...
    plan.countAfterDirs.reset();
    Loaded exact;
    load(exact, dir.write("exact.big", buildArchive(plan)));
    EXPECT_FALSE(exact.status.ok());
    EXPECT_NE(exact.status.message().find("holds 101 records"), std::string::npos)
        << exact.status.message();
    // ... while the same name in lower case is no locale archive.
    plan.archiveName = "hw2localearchive";
    Loaded lower;
    load(lower, dir.write("lower.big", buildArchive(plan)));
    ASSERT_TRUE(lower.status.ok()) << lower.status.message();
    EXPECT_EQ(lower.index.entries[99].name, "f99.txt");
    EXPECT_EQ(lower.index.entries[99].compSize, 0);
}

TEST(LoaderTrace, NoNamedDirectoriesLogsNoHeadings) {
    ArchivePlan plan;
    plan.files = {{.name = "a.txt", .data = textBytes("a")}, {.name = "b.txt", .data = textBytes("b")}};
    TempDir dir;
    Loaded l;
    load(l, dir.write("flat.big", buildArchive(plan)));
    ASSERT_TRUE(l.status.ok());
    for (const auto& line : l.log.lines) {
        EXPECT_EQ(line.find("Directory entries:"), std::string::npos) << line;
        EXPECT_EQ(line.find("File entries:"), std::string::npos) << line;
    }
    EXPECT_EQ(l.index.dirCount(), 0);
    EXPECT_EQ(l.tree.size(), 3u);
}

TEST(LoaderTrace, LastNameMayRunToTheEndOfTheFile) {
    ArchivePlan plan;
    plan.files = {{.name = "a.txt", .data = {}}, {.name = "last.lua", .data = {}}};
    plan.finalNul = false;
    TempDir dir;
    Bytes bytes = buildArchive(plan);
    bytes.resize(offsetsOf(plan).dataArea);   // the file ends inside the name table
    Loaded l;
    load(l, dir.write("n.big", bytes));
    ASSERT_TRUE(l.status.ok()) << l.status.message();
    EXPECT_EQ(l.index.entries[1].name, "last.lua");
}

TEST(LoaderTrace, HostSeesTheLoadInOrder) {
    TempDir dir;
    Loaded l;
    load(l, dir.write("data.big", buildArchive(examplePlan())));
    ASSERT_TRUE(l.status.ok());
    const std::vector<std::string> expected = {"busy", "idle"};
    EXPECT_EQ(l.host.calls, expected);
    EXPECT_EQ(l.host.eventsProcessed, 3 + 3 + 5);   // one per directory record, file record and name
}

TEST(LoaderTrace, HiddenArchiveLoadsWithExtractionDisabled) {
    TempDir dir;
    Loaded l;
    load(l, dir.write(".hidden.big", buildArchive(examplePlan())));
    ASSERT_TRUE(l.status.ok());
    EXPECT_FALSE(isNormalVisibleFile(dir.path() / ".hidden.big"));
    EXPECT_EQ(l.tree.size(), 6u);
}

TEST(LoaderTrace, ReadStringStopsAfterTheNulOrAtTheEnd) {
    TempDir dir;
    FileReader file;
    ASSERT_TRUE(file.open(dir.write("s", textBytes(std::string("abc\0de", 6)))));
    EXPECT_EQ(readString(file), "abc");
    EXPECT_EQ(file.tell(), 4);
    EXPECT_EQ(readString(file), "de");
    EXPECT_TRUE(file.atEnd());
}

TEST(LoaderTrace, ActivityLogAppendsCrLfLines) {
    TempDir dir;
    ActivityLog log(dir.path() / "sgaExtract.log");
    log("first");
    log("");
    log(int32_t{2});
    EXPECT_EQ(readFile(log.path()), textBytes("first\r\n\r\n 2 \r\n"));
    ASSERT_TRUE(log.restart());
    log("again");
    EXPECT_EQ(readLines(log.path()), std::vector<std::string>{"again"});
    // A folder that does not exist: the line is skipped without disturbing the caller.
    ActivityLog nowhere(dir.path() / "missing" / "x.log");
    nowhere("lost");
    EXPECT_FALSE(std::filesystem::exists(nowhere.path()));
}

} // namespace
} // namespace sga
