// sga diff over archives of the 17-byte layout and version 10 and over
// folders on disk, in every pairing.
#include "cli/tests/CliTesting.h"

#include <nlohmann/json.hpp>

namespace sga::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const Contents kOld = {
    {"art\\a.lua", textBytes("x = 1\ny = 2\nz = 3\n")},
    {"art\\fx\\spark.tga", Bytes(3000, 7)},
    {"attrib\\gone.rgd", Bytes(40, 1)},
    {"attrib\\same.rgd", Bytes(41, 2)},
    {"locale\\en.ucs", Bytes{0xFF, 0xFE, 'h', 0, 'i', 0, '\n', 0}},
    {"readme.txt", textBytes("read me\n")},
};

// kOld with a.lua and en.ucs changed (same sizes), spark.tga changed in
// size, gone.rgd deleted and new.lua added.
Contents changed() {
    Contents c = kOld;
    c["art\\a.lua"] = textBytes("x = 1\ny = 5\nz = 3\n");
    c["art\\fx\\spark.tga"] = Bytes(3001, 7);
    c.erase("attrib\\gone.rgd");
    c["attrib\\new.lua"] = textBytes("new\n");
    c["locale\\en.ucs"] = Bytes{0xFF, 0xFE, 'h', 0, 'o', 0, '\n', 0};
    return c;
}

enum class Kind { Narrow, V10, Folder };

std::string sideOf(const TempDir& dir, Kind kind, const std::string& name, const Contents& files) {
    switch (kind) {
    case Kind::Narrow: return dir.write(name + ".big", narrowArchive(files)).string();
    case Kind::V10: return dir.write(name + ".sga", layoutArchive(Layout::V10, files)).string();
    case Kind::Folder: break;
    }
    return writeFolder(dir, name, files).string();
}

struct SidePair {
    Kind old, now;
};

std::string nameOf(const ::testing::TestParamInfo<SidePair>& info) {
    const char* names[] = {"Narrow", "V10", "Folder"};
    return std::string(names[static_cast<int>(info.param.old)]) + "To" + names[static_cast<int>(info.param.now)];
}

class DiffSides : public ::testing::TestWithParam<SidePair> {};

TEST_P(DiffSides, TheSameContentIsNoDifference) {
    TempDir dir;
    const std::string a = sideOf(dir, GetParam().old, "old", kOld), b = sideOf(dir, GetParam().now, "new", kOld);
    const ProgramRun r = sga(dir, {"diff", a, b, "--stat"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0 added, 0 deleted, 0 modified, 6 unchanged\n");
    EXPECT_EQ(r.err, "");
}

TEST_P(DiffSides, ChangesAreListedByPath) {
    TempDir dir;
    const std::string a = sideOf(dir, GetParam().old, "old", kOld), b = sideOf(dir, GetParam().now, "new", changed());
    const ProgramRun r = sga(dir, {"diff", a, b, "--stat"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out,
              "M\tart\\a.lua\n"
              "M\tart\\fx\\spark.tga\n"
              "D\tattrib\\gone.rgd\n"
              "A\tattrib\\new.lua\n"
              "M\tlocale\\en.ucs\n"
              "1 added, 1 deleted, 3 modified, 2 unchanged\n");
}

TEST_P(DiffSides, ContentShowsUnifiedDiffsOfTextEntries) {
    TempDir dir;
    const std::string a = sideOf(dir, GetParam().old, "old", kOld), b = sideOf(dir, GetParam().now, "new", changed());
    const ProgramRun r = sga(dir, {"diff", "--content", a, b, "art", "locale"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "M\tart\\a.lua\n"
                     "--- " + a + "/art\\a.lua\n"
                     "+++ " + b + "/art\\a.lua\n"
                     "@@ -1,3 +1,3 @@\n"
                     " x = 1\n"
                     "-y = 2\n"
                     "+y = 5\n"
                     " z = 3\n"
                     "M\tart\\fx\\spark.tga\n"
                     "M\tlocale\\en.ucs\n"
                     "--- " + a + "/locale\\en.ucs\n"
                     "+++ " + b + "/locale\\en.ucs\n"
                     "@@ -1 +1 @@\n"
                     "-hi\n"
                     "+ho\n");
}

TEST_P(DiffSides, JsonLinesNameBothSides) {
    TempDir dir;
    const std::string a = sideOf(dir, GetParam().old, "old", kOld), b = sideOf(dir, GetParam().now, "new", changed());
    const ProgramRun r = sga(dir, {"diff", "--json", a, b, "attrib", "art/fx"});
    EXPECT_EQ(r.status, 1) << r.err;
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), 3u) << r.out;
    const json spark = json::parse(lines[0]), gone = json::parse(lines[1]), added = json::parse(lines[2]);
    EXPECT_EQ(spark["status"], "M");
    EXPECT_EQ(spark["path"], "art\\fx\\spark.tga");
    EXPECT_EQ(spark["old"]["size"], 3000);
    EXPECT_EQ(spark["new"]["size"], 3001);
    EXPECT_EQ(gone["status"], "D");
    EXPECT_TRUE(gone["new"].is_null());
    EXPECT_EQ(added["status"], "A");
    EXPECT_TRUE(added["old"].is_null());
    EXPECT_EQ(added["new"]["size"], 4);
}

INSTANTIATE_TEST_SUITE_P(Sides, DiffSides,
                         ::testing::Values(SidePair{Kind::Narrow, Kind::V10}, SidePair{Kind::V10, Kind::Narrow},
                                           SidePair{Kind::Narrow, Kind::Folder}, SidePair{Kind::Folder, Kind::V10},
                                           SidePair{Kind::V10, Kind::V10}, SidePair{Kind::Folder, Kind::Folder}),
                         nameOf);

TEST(Diff, FolderPathsCompareIgnoringCase) {
    TempDir dir;
    const std::string a = sideOf(dir, Kind::V10, "old", {{"Art\\A.lua", textBytes("x")}});
    const std::string b = sideOf(dir, Kind::Folder, "new", {{"art\\a.LUA", textBytes("x")}});
    const ProgramRun r = sga(dir, {"diff", a, b});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(Diff, Trouble) {
    TempDir dir;
    const std::string a = sideOf(dir, Kind::V10, "old", kOld);
    const struct {
        const char* what;
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {"a side that is missing", {"diff", a, (dir.path() / "missing.sga").string()}, "missing.sga"},
        {"a side that is no archive", {"diff", a, dir.write("junk.sga", textBytes("junk")).string()}, "junk.sga"},
        {"a pattern that selects nothing", {"diff", a, a, "nothing"}, "no entry matches nothing"},
    };
    for (const auto& c : cases) {
        const ProgramRun r = sga(dir, c.args);
        EXPECT_EQ(r.status, 2) << c.what;
        EXPECT_EQ(r.out, "") << c.what;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << c.what << ": " << r.err;
    }
}

TEST(Diff, ADamagedEntryIsTroubleAndTheRestIsStillCompared) {
    TempDir dir;
    Contents files = {{"a.txt", Bytes(5000, 'a')}, {"b.txt", Bytes(10, 'b')}};
    const std::string good = sideOf(dir, Kind::Folder, "good", files);
    Bytes archive = layoutArchive(Layout::V10, files);
    // a.txt is the compressed one: break its stream in the middle.
    LayoutPlan plan;
    const LayoutBytes parts = [&] {
        plan.layout = Layout::V10;
        DrivePlan drive;
        drive.root.files = {{.name = "a.txt", .data = files["a.txt"], .storeAs = StoreAs::ZlibStream},
                            {.name = "b.txt", .data = Bytes(10, 'c')}};
        plan.drives = {drive};
        return buildLayoutParts(plan);
    }();
    archive = parts.joined();
    archive[static_cast<size_t>(parts.dataPos[0]) + 4] ^= 0xFF;
    const std::string bad = dir.write("bad.sga", archive).string();
    const ProgramRun r = sga(dir, {"diff", good, bad});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "M\tb.txt\n");
    EXPECT_NE(r.err.find("a.txt"), std::string::npos) << r.err;
}

} // namespace
} // namespace sga::testing
