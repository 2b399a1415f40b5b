// Extraction never leaves its target, no entry overwrites another by
// accident, the job count changes nothing, and an interrupted run leaves no
// partial file.
#include "core/TerminalText.h"
#include "extract/OutputFiles.h"
#include "extract/tests/ExtractFixture.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>

namespace sga {
namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

struct ExtractRun {
    MemoryLog log;
    RecordingHost host;
    ExtractReport report;
};

bool logHas(const ExtractRun& run, const std::string& part) {
    return std::any_of(run.log.lines.begin(), run.log.lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

// ---------------------------------------------------------------- links

// A link planted below the target, at each depth of smallArchive's paths.
struct PlantedLink {
    const char* at;             // below out/data.big ("" plants out/data.big itself)
    bool toFolder;              // a link to a folder, or to a file
    int written;                // of readme.txt, a.lua, spark.tga
};

class LinkBelowTarget : public ::testing::TestWithParam<PlantedLink> {};

TEST_P(LinkBelowTarget, IsRefusedNamedAndNeverFollowed) {
    const PlantedLink c = GetParam();
    for (int jobs : {1, 3}) {
        SCOPED_TRACE(std::string(c.at) + " jobs " + std::to_string(jobs));
        LoadedFixture f(smallArchive());
        const fs::path elsewhere = f.dir.path() / "elsewhere";
        fs::create_directories(elsewhere / "fx");
        f.dir.write("elsewhere/spark.tga", textBytes("theirs"));
        const fs::path link = *c.at ? f.out() / "data.big" / c.at : f.out() / "data.big";
        fs::create_directories(link.parent_path());
        fs::create_symlink(c.toFolder ? elsewhere : elsewhere / "spark.tga", link);
        ExtractRun run;
        run.report = extractAll(f.context(run.log, run.host), {.jobs = jobs});
        EXPECT_EQ(treeOf(elsewhere), (std::set<std::string>{"fx/", "spark.tga"}));
        EXPECT_EQ(readFile(elsewhere / "spark.tga"), textBytes("theirs"));
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(run.report.written, c.written);
        EXPECT_GT(run.report.failed, 0);
        const std::string name = fs::path(c.at).filename().string();
        EXPECT_TRUE(logHas(run, (name.empty() ? "data.big" : name) + " is a symbolic link (not followed)"));
        ASSERT_FALSE(run.report.failures.empty());
        for (const auto& p : treeOf(f.out())) EXPECT_EQ(p.find(".sga-"), std::string::npos) << p;
    }
}

INSTANTIATE_TEST_SUITE_P(EachDepth, LinkBelowTarget,
                         ::testing::Values(PlantedLink{"", true, 0}, PlantedLink{"art", true, 1},
                                           PlantedLink{"art/fx", true, 2}, PlantedLink{"art/fx/spark.tga", false, 2},
                                           PlantedLink{"readme.txt", false, 2},
                                           PlantedLink{"art/fx/spark.tga", true, 2}));

TEST(LinkBelowTarget, TheFolderTheUserNamesMayBeALink) {
    LoadedFixture f(smallArchive());
    const fs::path real = f.dir.path() / "real";
    fs::create_directories(real);
    fs::create_symlink(real, f.out());
    ExtractRun run;
    run.report = extractAll(f.context(run.log, run.host));
    EXPECT_EQ(run.report.failed, 0);
    EXPECT_EQ(run.report.written, 3);
    EXPECT_EQ(readFile(real / "data.big/art/a.lua"), textBytes("print('hello')\n"));
}

// Extract to, Open and drag write below a chosen folder; Extract selected beside the archive.
TEST(LinkBelowTarget, EverySelectionRoadRefusesIt) {
    for (const bool fromNode : {false, true}) {
        SCOPED_TRACE(fromNode);
        LoadedFixture f(smallArchive());
        const fs::path elsewhere = f.dir.path() / "elsewhere";
        fs::create_directories(elsewhere);
        const fs::path target = f.dir.path() / "chosen";
        fs::create_directories(target);
        fs::create_symlink(elsewhere, target / (fromNode ? "fx" : "art"));
        ExtractRun run;
        const SelectionReport r = extractSelection(f.context(run.log, run.host), {{"d..art\\fx", "fx"}},
                                                   {.target = target, .fromSelectedNode = fromNode});
        EXPECT_TRUE(fs::is_empty(elsewhere));
        EXPECT_EQ(r.report.written, 0);
        EXPECT_GT(r.report.failed, 0);
        EXPECT_TRUE(logHas(run, "is a symbolic link (not followed)"));
    }
    // Beside the archive: a link where the entry's folder goes.
    LoadedFixture f(smallArchive());
    const fs::path elsewhere = f.dir.path() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_symlink(elsewhere, f.archive.parent_path() / "art");
    ExtractRun run;
    const ExtractReport r = extractSelected(f.context(run.log, run.host), "art\\a.lua|4", "a.lua");
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_EQ(r.written, 0);
    EXPECT_TRUE(logHas(run, "art is a symbolic link (not followed)"));
}

TEST(OutputFolders, OpenBelowRefusesLinksAndFilesAtEachPart) {
    TempDir dir;
    fs::create_directories(dir.path() / "base/a/b");
    fs::create_directories(dir.path() / "other");
    fs::create_symlink(dir.path() / "other", dir.path() / "base/a/link");
    dir.write("base/a/file", textBytes("x"));
    Expected<Folder> base = openUserFolder(dir.path() / "base", false);
    ASSERT_TRUE(base.ok());
    const struct {
        const char* relative;
        bool ok;
        const char* message;
    } cases[] = {{"a/b/new/deeper", true, ""},
                 {"a/link", false, "a/link is a symbolic link (not followed)"},
                 {"a/link/x", false, "a/link is a symbolic link (not followed)"},
                 {"a/file", false, "a file of that name exists"},
                 {"a/file/x", false, "a file is in the way: a/file"},
                 {"a/../..", false, "a/..: a path may not go up"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.relative);
        const Expected<Folder> opened = openFolderBelow(*base, c.relative, true);
        EXPECT_EQ(opened.ok(), c.ok);
        if (!c.ok) {
            EXPECT_EQ(opened.message(), c.message);
        }
    }
    EXPECT_TRUE(fs::is_empty(dir.path() / "other"));
}

// ---------------------------------------------------------------- names that meet

ArchivePlan namesThatMeet() {
    ArchivePlan plan;
    plan.files = {{.name = "a.fda", .data = textBytes("fda bytes")},
                  {.name = "a.aifr", .data = textBytes("aifr bytes")},
                  {.name = "b.fda", .data = textBytes("renamed"), .compress = true},
                  {.name = "C.FDA.txt", .data = textBytes("upper")},
                  {.name = "twice.txt", .data = textBytes("first")},
                  {.name = "twice.txt", .data = textBytes("second"), .compress = true},
                  {.name = "c.aifr.txt", .data = textBytes("lower")}};
    return plan;
}

TEST(NamesThatMeet, RenamingThatLandsOnAnotherEntryKeepsTheOwnName) {
    const struct {
        bool foldsCase;
        std::set<std::string> files;
    } cases[] = {
        {false, {"a.fda", "a.aifr", "b.aifr", "C.FDA.txt", "twice.txt", "c.aifr.txt"}},
        {true, {"a.fda", "a.aifr", "b.aifr", "C.FDA.txt", "twice.txt", "c.aifr.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.foldsCase);
        LoadedFixture f(namesThatMeet());
        ExtractRun run;
        run.report = extractAll(f.context(run.log, run.host), {.foldsCase = c.foldsCase});
        std::set<std::string> files;
        for (const auto& p : treeOf(f.out() / "data.big")) files.insert(p);
        EXPECT_EQ(files, c.files);
        const fs::path snd = f.out() / "data.big";
        EXPECT_EQ(readFile(snd / "a.fda"), textBytes("fda bytes"));
        EXPECT_EQ(readFile(snd / "a.aifr"), textBytes("aifr bytes"));
        EXPECT_EQ(readFile(snd / "b.aifr"), textBytes("renamed"));
        EXPECT_EQ(readFile(snd / "twice.txt"), textBytes("second"));
        EXPECT_TRUE(logHas(run, "Kept the name " + snd.string() + "/a.fda: " + snd.string() +
                                    "/a.aifr is the path of another entry"));
        EXPECT_FALSE(logHas(run, "Kept the name " + snd.string() + "/b.fda"));
        EXPECT_EQ(run.report.failed, 0);
    }
}

// "C.FDA.txt" is not renamed (the renaming is case-sensitive); "c.fda.txt"
// would become "c.aifr.txt", which folds onto nothing else here but onto
// "C.AIFR.TXT" on a target that folds case.
TEST(NamesThatMeet, CaseFoldingTargetsCountNamesEqualButForCase) {
    for (const bool folds : {false, true}) {
        SCOPED_TRACE(folds);
        ArchivePlan plan;
        plan.files = {{.name = "c.fda.txt", .data = textBytes("fda")}, {.name = "C.AIFR.TXT", .data = textBytes("upper")}};
        LoadedFixture f(plan);
        ExtractRun run;
        run.report = extractAll(f.context(run.log, run.host), {.foldsCase = folds});
        const fs::path base = f.out() / "data.big";
        EXPECT_EQ(fs::exists(base / "c.fda.txt"), folds);
        EXPECT_EQ(fs::exists(base / "c.aifr.txt"), !folds);
        EXPECT_EQ(readFile(base / "C.AIFR.TXT"), textBytes("upper"));
        EXPECT_EQ(logHas(run, "Kept the name"), folds);
    }
}

// ---------------------------------------------------------------- job count

ArchivePlan crowdedArchive() {
    ArchivePlan plan;
    for (int i = 0; i < 40; ++i) {
        const std::string name = i % 5 == 0 ? "same.txt" : i % 7 == 0 ? "n.fda" : "f" + std::to_string(i % 11) + ".bin";
        plan.files.push_back({.name = name, .data = Bytes(static_cast<size_t>(100 + i * 97), static_cast<uint8_t>(i)),
                              .compress = i % 2 == 0});
    }
    plan.files[13].stored = textBytes("not a zlib stream");
    plan.files[13].flag = 1;
    return plan;
}

TEST(JobCount, FilesBytesLogAndReportAreTheSameForEveryCount) {
    LoadedFixture f(crowdedArchive());
    ExtractRun first;
    first.report = extractAll(f.context(first.log, first.host), {.jobs = 1});
    std::map<std::string, Bytes> expected;
    for (const auto& p : treeOf(f.out()))
        if (p.back() != '/') expected[p] = readFile(f.out() / p);
    EXPECT_EQ(readFile(f.out() / "data.big/same.txt"), Bytes(100 + 35 * 97, 35));
    for (int jobs : {2, 3, 8, 16}) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(std::to_string(jobs) + " jobs, round " + std::to_string(round));
            fs::remove_all(f.out());
            ExtractRun run;
            run.report = extractAll(f.context(run.log, run.host), {.jobs = jobs});
            std::map<std::string, Bytes> got;
            for (const auto& p : treeOf(f.out()))
                if (p.back() != '/') got[p] = readFile(f.out() / p);
            EXPECT_EQ(got, expected);
            EXPECT_EQ(run.log.lines, first.log.lines);
            EXPECT_EQ(run.report.summary, first.report.summary);
            EXPECT_EQ(run.report.written, first.report.written);
            EXPECT_EQ(run.report.failed, first.report.failed);
        }
    }
}

// A file of one entry where another needs a folder: the archive's order decides, whatever the jobs.
TEST(JobCount, AFileAndAFolderOfOneNameFollowArchiveOrder) {
    for (const bool fileFirst : {true, false}) {
        ArchivePlan plan;
        plan.dirs = {{"p", 1}};
        plan.files = {{.name = "p", .data = textBytes("file p")}, {.name = "q.txt", .data = textBytes("in p")}};
        if (!fileFirst) {
            plan.dirs = {{"p", 0}};
            plan.files = {{.name = "q.txt", .data = textBytes("in p")}, {.name = "p", .data = textBytes("file p")}};
        }
        LoadedFixture f(plan);
        ExtractRun one;
        one.report = extractAll(f.context(one.log, one.host), {.jobs = 1});
        const auto tree = treeOf(f.out());
        for (int jobs : {2, 4}) {
            SCOPED_TRACE(std::to_string(fileFirst) + " " + std::to_string(jobs));
            fs::remove_all(f.out());
            ExtractRun run;
            run.report = extractAll(f.context(run.log, run.host), {.jobs = jobs});
            EXPECT_EQ(treeOf(f.out()), tree);
            EXPECT_EQ(run.log.lines, one.log.lines);
        }
    }
}

// ---------------------------------------------------------------- interruption

TEST(Interrupted, TheEntryBeingWrittenAndEveryTemporaryAreRemoved) {
    ArchivePlan plan;
    for (int i = 0; i < 6; ++i)
        plan.files.push_back({.name = "big" + std::to_string(i) + ".bin",
                              .data = Bytes(size_t{3} << 20, static_cast<uint8_t>(i)), .compress = i % 2 == 1});
    LoadedFixture f(plan);
    // After so many pieces of written bytes, the run is told to stop.
    for (const int after : {0, 1, 4, 7}) {
        for (const int jobs : {1, 3}) {
            SCOPED_TRACE(std::to_string(after) + " pieces, " + std::to_string(jobs) + " jobs");
            fs::remove_all(f.out());
            std::atomic<int> asked{0};
            ExtractRun run;
            run.report = extractAll(f.context(run.log, run.host),
                                    {.jobs = jobs, .interrupted = [&] { return asked.fetch_add(1) >= after * 3; }});
            EXPECT_TRUE(run.report.stopped);
            int whole = 0;
            for (const auto& p : treeOf(f.out() / "data.big")) {
                EXPECT_EQ(p.find(".sga-"), std::string::npos) << p;
                EXPECT_EQ(fs::file_size(f.out() / "data.big" / p), size_t{3} << 20) << p;
                ++whole;
            }
            EXPECT_GE(whole, run.report.written);
            EXPECT_LT(run.report.written, 6);
            EXPECT_FALSE(logHas(run, "Extract finished!"));
        }
    }
}

// ---------------------------------------------------------------- names shown

TEST(PrintableNames, ControlCharactersAreShownEscaped) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain\\path/name.lua", "plain\\path/name.lua"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"del\x7f", "del\\x7f"},
        {"csi \xc2\x9b" "31m", "csi \\xc2\\x9b31m"},
        {"c1 \xc2\x80 and \xc2\x9f", "c1 \\xc2\\x80 and \\xc2\\x9f"},
        {"latin \xc2\xa0\xc3\xa9", "latin \xc2\xa0\xc3\xa9"},
        {"lone \xc2", "lone \xc2"},
        {"cp1252 \x9b", "cp1252 \x9b"},
    };
    for (const auto& c : cases) EXPECT_EQ(printable(c.in), c.out) << c.out;
}

} // namespace
} // namespace sga
