#include "archive/ArchiveOpen.h"
#include "core/FileReader.h"
#include "extract/EntryData.h"
#include "extract/Verify.h"
#include "extract/tests/ExtractFixture.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

namespace sga {
namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

struct AllRun {
    MemoryLog log;
    RecordingHost host;
    ExtractReport report;
};

void extract(const LoadedFixture& f, AllRun& run, int jobs = 1) {
    run.report = extractAll(f.context(run.log, run.host), {.jobs = jobs});
}

TEST(ExtractAll, SmallArchiveLogHostAndFiles) {
    const ArchivePlan plan = smallArchive();
    LoadedFixture f(plan);
    AllRun run;
    extract(f, run);
    const std::string out = f.out().string();
    const std::string base = out + "/data.big/";
    auto entry = [&](int m) { return f.index.entries[static_cast<size_t>(m - 1)]; };
    auto block = [&](int m, const std::string& name, const Bytes& data) {
        const FileEntry e = entry(m);
        return std::vector<std::string>{"decompressing " + std::to_string(e.compSize) + ": " + name +
                                            " at pos: " + std::to_string(e.filePos + 257),
                                        padLineOf(data), "result 0"};
    };
    std::vector<std::string> expected = {
        "Making extract location: " + out,
        "Making directory: " + base,
        "Starting directory creation for 5 entries.....",
        "Checking " + base + "art...",
        "Making directory: " + base + "art",
        "Checking " + base + "art/fx...",
        "Making directory: " + base + "art/fx",
        "Finished making directories",
        "Starting file extraction...",
        "Extracting: " + base + "/readme.txt"};
    for (const auto& l : block(3, "readme.txt", plan.files[0].data)) expected.push_back(l);
    expected.push_back("Extracting: " + base + "art/a.lua");
    for (const auto& l : block(4, "a.lua", plan.files[1].data)) expected.push_back(l);
    expected.push_back("Extracting: " + base + "art/fx/spark.tga");
    for (const auto& l : block(5, "spark.tga", plan.files[2].data)) expected.push_back(l);
    expected.push_back("Extract finished!");
    EXPECT_EQ(run.log.lines, expected);

    EXPECT_EQ(run.host.calls,
              (std::vector<std::string>{"progress start 5", "busy", "idle", "busy", "idle", "busy", "idle",
                                        "progress end"}));
    EXPECT_EQ(run.host.progressValues, (std::vector<int>{1, 2, 3, 4, 5, 3, 4, 5}));
    EXPECT_EQ(run.host.progressLabels,
              (std::vector<std::string>{"Making directory: art", "Making directory: art\\fx",
                                        "Making directory: readme.txt", "Making directory: a.lua",
                                        "Making directory: spark.tga", "Extracting: \\readme.txt",
                                        "Extracting: art\\a.lua", "Extracting: art\\fx\\spark.tga"}));
    EXPECT_EQ(run.host.eventsProcessed, 8);

    EXPECT_EQ(run.report.written, 3);
    EXPECT_EQ(run.report.failed, 0);
    EXPECT_TRUE(run.report.summary.empty());
    EXPECT_EQ(readFile(base + "readme.txt"), plan.files[0].data);
    EXPECT_EQ(readFile(base + "art/a.lua"), plan.files[1].data);
    EXPECT_EQ(readFile(base + "art/fx/spark.tga"), plan.files[2].data);
    EXPECT_EQ(treeOf(f.out()), (std::set<std::string>{"data.big/", "data.big/readme.txt", "data.big/art/",
                                                      "data.big/art/a.lua", "data.big/art/fx/",
                                                      "data.big/art/fx/spark.tga"}));
}

TEST(ExtractAll, SecondRunIntoTheSameLocationRewritesEveryFile) {
    LoadedFixture f(smallArchive());
    AllRun first, second;
    extract(f, first);
    const std::string base = f.out().string() + "/data.big/";
    {
        std::ofstream spoil(base + "art/a.lua", std::ios::trunc);
        spoil << "a much longer text that must not survive the second run";
    }
    extract(f, second);
    EXPECT_EQ(second.log.lines[0], "Extract location already exists " + f.out().string());
    EXPECT_EQ(second.log.lines[1], base + " already exists or could not be created");
    EXPECT_EQ(second.log.lines[4], "Directory: " + base + "art already exists or could not be created!");
    EXPECT_EQ(second.log.lines[6], "Directory: " + base + "art/fx already exists or could not be created!");
    EXPECT_EQ(second.report.written, 3);
    EXPECT_EQ(readFile(base + "art/a.lua"), textBytes("print('hello')\n"));
    EXPECT_EQ(treeOf(f.out()).size(), 6u);   // no temporary files left behind
}

TEST(ExtractAll, FdaIsReplacedInFileTargetsOnly) {
    ArchivePlan plan;
    plan.dirs = {{"ai.fda", 0}};
    plan.files = {{.name = "x.fda", .data = textBytes("1")},
                  {.name = "x.fda.bak", .data = textBytes("2"), .compress = true},
                  {.name = "X.FDA", .data = textBytes("3")},
                  {.name = "empty.fda", .data = {}},
                  {.name = "a.fdab.fda", .data = textBytes("5")}};
    LoadedFixture f(plan, "pack.fda.big");
    AllRun run;
    extract(f, run);
    const std::string base = f.out().string() + "/pack.fda.big/";
    EXPECT_EQ(run.report.failed, 0);
    EXPECT_EQ(treeOf(f.out()),
              (std::set<std::string>{"pack.fda.big/", "pack.fda.big/ai.fda/", "pack.fda.big/ai.aifr/",
                                     "pack.fda.big/ai.aifr/x.aifr", "pack.fda.big/ai.aifr/x.aifr.bak",
                                     "pack.fda.big/ai.aifr/X.FDA", "pack.fda.big/ai.fda/empty.fda",
                                     "pack.fda.big/ai.aifr/a.aifrb.aifr"}));
    // The log shows the target before the replacement.
    EXPECT_NE(std::find(run.log.lines.begin(), run.log.lines.end(), "Extracting: " + base + "ai.fda/x.fda"),
              run.log.lines.end());
}

TEST(ExtractAll, ArchiveWithoutDirectories) {
    ArchivePlan plan;
    plan.files = {{.name = "a.txt", .data = textBytes("a")}, {.name = "b.txt", .data = textBytes("b")}};
    LoadedFixture f(plan);
    AllRun run;
    extract(f, run);
    EXPECT_EQ(run.log.lines[2], "Starting directory creation for 2 entries.....");
    EXPECT_EQ(run.log.lines[3], "Finished making directories");
    EXPECT_EQ(run.host.progressValues, (std::vector<int>{1, 2, 1, 2}));
    EXPECT_EQ(treeOf(f.out()), (std::set<std::string>{"data.big/", "data.big/a.txt", "data.big/b.txt"}));
}

TEST(ExtractAll, HostileNamesWriteNothingOutsideTheTarget) {
    ArchivePlan plan;
    plan.dirs = {{"..", 0}, {"ok\\..\\..", 1}, {"C:\\win", 2}, {"\\abs", 3}, {"ok", 4}};
    plan.files = {{.name = "up.txt", .data = textBytes("1")},
                  {.name = "up2.txt", .data = textBytes("2")},
                  {.name = "drive.txt", .data = textBytes("3")},
                  {.name = "abs.txt", .data = textBytes("4")},
                  {.name = "..\\..\\escape.txt", .data = textBytes("5")},
                  {.name = "../../escape2.txt", .data = textBytes("6")},
                  {.name = "/tmp/abs.txt", .data = textBytes("7")},
                  {.name = "ctl\x01.txt", .data = textBytes("8")},
                  {.name = "..", .data = textBytes("9")},
                  {.name = "fine.txt", .data = textBytes("10")}};
    LoadedFixture f(plan);
    const auto before = treeOf(f.dir.path());
    AllRun run;
    extract(f, run);
    auto after = treeOf(f.dir.path());
    std::set<std::string> added;
    for (const auto& p : after)
        if (!before.count(p)) added.insert(p);
    EXPECT_EQ(added, (std::set<std::string>{"out/", "out/data.big/", "out/data.big/ok/", "out/data.big/ok/fine.txt"}));
    // Four refused directories and nine refused files, each logged.
    EXPECT_EQ(run.report.failed, 13);
    EXPECT_EQ(run.report.written, 1);
    EXPECT_EQ(std::count_if(run.log.lines.begin(), run.log.lines.end(),
                            [](const std::string& l) { return l.rfind("Skipped ", 0) == 0; }),
              13);
    EXPECT_EQ(run.report.summary, "13 of 15 entries could not be extracted");
    EXPECT_EQ(run.host.statusText, run.report.summary);
    EXPECT_EQ(run.log.lines.back(), "Extract finished!");
}

TEST(ExtractAll, FoldersThatCannotBeCreatedAndFilesThatCannotBeWritten) {
    ArchivePlan plan;
    plan.dirs = {{"blocked", 0}, {"deep\\er", 1}};
    plan.files = {{.name = "x.txt", .data = textBytes("x")},
                  {.name = "y.txt", .data = textBytes("y"), .compress = true},
                  {.name = "z.txt", .data = textBytes("z")}};
    LoadedFixture f(plan);
    // "blocked" is a regular file (so x.txt cannot get its folder either);
    // z.txt's name is taken by a folder.
    const std::string base = f.out().string() + "/data.big/";
    f.dir.write("out/data.big/blocked", textBytes("a file"));
    fs::create_directories(base + "deep/er/z.txt");
    AllRun run;
    extract(f, run);
    EXPECT_EQ(run.report.written, 1);   // only y.txt in deep\er
    EXPECT_EQ(run.report.failed, 3);    // the folder blocked, x.txt inside it, z.txt
    EXPECT_NE(std::find(run.log.lines.begin(), run.log.lines.end(),
                        "Cannot create directory " + base + "blocked: a file of that name exists"),
              run.log.lines.end());
    bool writeFailure = false;
    for (const auto& l : run.log.lines)
        writeFailure |= l.rfind("Cannot write " + base + "deep/er/z.txt: ", 0) == 0;
    EXPECT_TRUE(writeFailure);
    EXPECT_EQ(readFile(base + "blocked"), textBytes("a file"));
    for (const auto& p : treeOf(f.out())) EXPECT_EQ(p.find(".sga-"), std::string::npos) << p;
    EXPECT_EQ(run.host.calls.back(), "progress end");
    EXPECT_FALSE(run.report.summary.empty());
}

TEST(ExtractAll, ExtractLocationUnderAFileFailsEveryEntryAndRestoresTheWindow) {
    LoadedFixture f(smallArchive());
    const auto blocker = f.dir.write("plain-file", textBytes("x"));
    AllRun run;
    run.report = extractAll(ExtractContext{f.model, f.archive, blocker / "sub", run.log, run.host});
    EXPECT_EQ(run.report.failed, 5);
    EXPECT_EQ(run.report.written, 0);
    EXPECT_EQ(run.log.lines[0], "Making extract location: " + (blocker / "sub").string());
    EXPECT_EQ(run.log.lines[1].rfind("Cannot create directory " + (blocker / "sub").string() + ": ", 0), 0u);
    EXPECT_EQ(run.host.calls.back(), "progress end");
    EXPECT_FALSE(run.host.running);
}

TEST(ExtractAll, DamagedEntriesAreCountedAndTheRunGoesOn) {
    ArchivePlan plan;
    plan.files = {{.name = "bad.lua", .data = textBytes("data"), .flag = 1, .stored = textBytes("not zlib")},
                  {.name = "good.lua", .data = textBytes("good")},
                  {.name = "empty.lua", .data = {}, .flag = 1, .stored = textBytes("junk")}};
    LoadedFixture f(plan);
    // The last entry's block position is moved before the file's start.
    f.index.entries[1].filePos = -20;
    AllRun run;
    extract(f, run);
    EXPECT_EQ(run.report.written, 1);   // empty.lua: orgSize 0 needs no reading
    EXPECT_EQ(run.report.failed, 2);
    EXPECT_TRUE(fs::exists(f.out() / "data.big/empty.lua"));
    EXPECT_FALSE(fs::exists(f.out() / "data.big/bad.lua"));
    const auto& lines = run.log.lines;
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Cannot extract good.lua: its data block at offset -20 lies outside the archive"),
              lines.end());
    EXPECT_EQ(run.report.summary, "2 of 3 entries could not be extracted");
}

TEST(ExtractAll, EmptyEntriesAreReadWhenTheirRecordSaysOtherwise) {
    ArchivePlan plan;
    plan.files = {{.name = "stored.txt", .data = textBytes("kept"), .orgSize = 0},
                  {.name = "lost.txt", .data = {}},
                  {.name = "empty.txt", .data = {}}};
    LoadedFixture f(plan);
    f.index.entries[1].filePos = static_cast<int32_t>(fs::file_size(f.archive));   // block past the end
    AllRun run;
    extract(f, run);
    // An uncompressed entry's bytes are its stored bytes, whatever orgSize says.
    EXPECT_EQ(readFile(f.out() / "data.big/stored.txt"), textBytes("kept"));
    EXPECT_FALSE(fs::exists(f.out() / "data.big/lost.txt"));
    EXPECT_TRUE(readFile(f.out() / "data.big/empty.txt").empty());
    EXPECT_EQ(run.report.failed, 1);
    EXPECT_EQ(run.report.written, 2);
    // Only the entries that had to be read log their block.
    EXPECT_EQ(std::count_if(run.log.lines.begin(), run.log.lines.end(),
                            [](const std::string& l) { return l.rfind("decompressing ", 0) == 0; }),
              1);
}

TEST(ExtractAll, StopRequestRestoresTheWindowAndClosesTheRun) {
    LoadedFixture f(smallArchive());
    AllRun run;
    run.host.stopAfterEvents = 7;   // five in the directory pass, then stop at the second file
    extract(f, run);
    EXPECT_TRUE(run.report.stopped);
    EXPECT_EQ(run.report.written, 1);
    EXPECT_EQ(run.host.calls.back(), "progress end");
    EXPECT_EQ(run.log.lines.back(), "Extract stopped before entry 4 of 5");
    EXPECT_EQ(run.report.summary, "Extract stopped before entry 4 of 5");
}

TEST(ExtractAll, ParallelJobsGiveTheSameFilesLogAndHostCalls) {
    ArchivePlan plan;
    plan.dirs = {{"a", 0}, {"a\\b", 40}};
    for (int i = 0; i < 90; ++i) {
        Bytes data(static_cast<size_t>(i * 997 % 20000), static_cast<uint8_t>(i));
        for (size_t k = 0; k < data.size(); k += 7) data[k] = static_cast<uint8_t>(k * i);
        EntryPlan file{.name = "f" + std::to_string(i) + (i % 9 == 0 ? ".fda" : ".dat"), .data = data,
                      .compress = i % 3 != 0};
        if (i == 50) file.stored = textBytes("broken");
        if (i == 51) file.name = "..";
        plan.files.push_back(file);
    }
    LoadedFixture f(plan);
    AllRun one, two;
    extract(f, one, 1);
    fs::rename(f.out(), f.dir.path() / "out1");
    extract(f, two, 2);
    EXPECT_EQ(one.log.lines, two.log.lines);
    EXPECT_EQ(one.host.calls, two.host.calls);
    EXPECT_EQ(one.host.progressValues, two.host.progressValues);
    EXPECT_EQ(one.host.progressLabels, two.host.progressLabels);
    EXPECT_EQ(one.report.written, two.report.written);
    EXPECT_EQ(one.report.failed, 2);
    EXPECT_EQ(two.report.failed, 2);
    const auto files = treeOf(f.dir.path() / "out1");
    EXPECT_EQ(files, treeOf(f.out()));
    for (const auto& p : files)
        if (p.back() != '/') {
            EXPECT_EQ(readFile(f.dir.path() / "out1" / p), readFile(f.out() / p)) << p;
        }
}

TEST(ExtractAll, RealHomeworldArchiveExtractsWithEveryCrcMatching) {
    const fs::path real = realArchivesDir();
    if (real.empty()) GTEST_SKIP() << "real archives folder absent";
    TempDir dir;
    ArchiveIndex index;
    ArchiveTree tree;
    NullLog quiet;
    ReportSink host;
    const fs::path archive = real / "hw2-mod-options.big";
    ASSERT_TRUE(openArchive(archive, index, tree, quiet, host).ok());
    ASSERT_EQ(index.totalEntries(), 902);
    const ArchiveModel model = modelFromIndex(index, std::filesystem::file_size(archive));
    ExtractReport report = extractAll(ExtractContext{model, archive, dir.path(), quiet, host}, {.jobs = 2});
    EXPECT_EQ(report.written, 890);
    EXPECT_EQ(report.failed, 0);
    int checked = 0;
    FileReader file;
    ASSERT_TRUE(file.open(archive));
    for (int m = index.dirCount() + 1; m <= index.totalEntries(); ++m) {
        const FileEntry& e = index.entries[static_cast<size_t>(m - 1)];
        std::string rel = (e.dirName.empty() ? "" : e.dirName + "/") + e.name;
        std::replace(rel.begin(), rel.end(), '\\', '/');
        const Bytes written = readFile(dir.path() / "hw2-mod-options.big" / rel);
        ASSERT_TRUE(file.seek(e.filePos));
        std::vector<uint8_t> buffer;
        EntryBlock block;
        ASSERT_EQ(readEntryData(e, file, quiet, buffer, block), 0);
        EXPECT_EQ(static_cast<int32_t>(written.size()), e.orgSize) << rel;
        EXPECT_EQ(static_cast<uint32_t>(::crc32(0, written.data(), static_cast<unsigned>(written.size()))),
                  block.storedCrc())
            << rel;
        ++checked;
    }
    EXPECT_EQ(checked, 890);
}

} // namespace
} // namespace sga
