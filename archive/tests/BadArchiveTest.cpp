#include "archive/modSGA.h"
#include "tests/support/ArchiveWriter.h"
#include "tests/support/RecordingHost.h"
#include "core/ActivityLog.h"

#include <functional>
#include <gtest/gtest.h>

namespace sga {
namespace {

using namespace sga::testing;

ArchivePlan smallPlan(int32_t version) {
    ArchivePlan plan;
    plan.version = version;
    plan.dirs = {{"art", 0}, {"art\\fx", 1}};
    plan.files = {{.name = "a.lua", .data = textBytes("print('a')"), .compress = true},
                  {.name = "spark.tga", .data = Bytes(40, 9)}};
    return plan;
}

struct Attempt {
    Status status;
    ArchiveIndex index;
    ArchiveTree tree;
    MemoryLog log;
    RecordingHost host;
};

void attempt(Attempt& a, const std::filesystem::path& path) {
    // Start from a loaded archive so that a failure must also drop it.
    a.index.entries.resize(3);
    a.tree.add(-1, "root", "old.big");
    a.status = openArchive(path, a.index, a.tree, a.log, a.host);
}

void expectCleanFailure(const Attempt& a, const std::string& what) {
    EXPECT_FALSE(a.status.ok()) << what;
    EXPECT_TRUE(a.index.entries.empty()) << what;
    EXPECT_TRUE(a.index.dirRecords.empty()) << what;
    EXPECT_EQ(a.tree.size(), 0u) << what;
    EXPECT_FALSE(a.host.isBusy) << what;
    EXPECT_EQ(a.host.statusText, a.status.message()) << what;
    ASSERT_FALSE(a.log.lines.empty());
    EXPECT_EQ(a.log.lines.back(), a.status.message()) << what;
}

TEST(BadArchive, EveryPrefixFailsCleanlyUntilTheLastName) {
    for (int32_t version : {1, 2}) {
        const ArchivePlan plan = smallPlan(version);
        const Bytes whole = buildArchive(plan);
        const PlanOffsets layout = offsetsOf(plan);
        const size_t lastNameStart = layout.dataArea - std::string("spark.tga").size() - 1;
        TempDir dir;
        for (size_t length = 0; length < whole.size(); ++length) {
            Attempt a;
            attempt(a, dir.write("cut.big", Bytes(whole.begin(), whole.begin() + static_cast<long>(length))));
            const std::string what = "version " + std::to_string(version) + ", " + std::to_string(length) + " bytes";
            if (length <= lastNameStart) {
                expectCleanFailure(a, what);
            } else {
                // The last name may run into the end of the file.
                ASSERT_TRUE(a.status.ok()) << what << ": " << a.status.message();
                EXPECT_EQ(a.index.entries[3].name, std::string("spark.tga").substr(0, length - lastNameStart));
            }
        }
    }
}

TEST(BadArchive, MessagesNameTheFieldAndOffset) {
    const Bytes whole = buildArchive(smallPlan(2));
    TempDir dir;
    Attempt a;
    attempt(a, dir.write("cut.big", Bytes(whole.begin(), whole.begin() + 178)));
    EXPECT_NE(a.status.message().find("data offset at offset 176"), std::string::npos) << a.status.message();
    EXPECT_NE(a.status.message().find("cut.big"), std::string::npos);

    Attempt missing;
    attempt(missing, dir.path() / "nothing.big");
    expectCleanFailure(missing, "missing file");
    EXPECT_NE(missing.status.message().find("No such file"), std::string::npos);

    Attempt folder;
    attempt(folder, dir.path());
    expectCleanFailure(folder, "a folder");
}

TEST(BadArchive, CountsOutOfRange) {
    struct Case {
        std::string what;
        std::function<void(ArchivePlan&)> change;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"dirCount 0", [](ArchivePlan& s) { s.dirCount = 0; }, "folder count at offset 190 is 0"},
        {"dirCount -32768", [](ArchivePlan& s) { s.dirCount = -32768; }, "folder count"},
        {"totalEntries -1", [](ArchivePlan& s) { s.totalEntries = -1; }, "name count at offset 202 is -1"},
        {"totalEntries 0", [](ArchivePlan& s) { s.totalEntries = 0; }, "name count"},
        {"totalEntries too small for the directories", [](ArchivePlan& s) { s.totalEntries = 2; }, "exceeds the name count"},
        {"more file records than names", [](ArchivePlan& s) { s.totalEntries = 4; }, "only 1 file names"},
        {"numOfRecords negative", [](ArchivePlan& s) { s.numOfRecords = -1; }, "negative"},
        {"numOfRecords below dirCount", [](ArchivePlan& s) { s.numOfRecords = 2; }, "fewer than the 3"},
        {"numOfRecords huge", [](ArchivePlan& s) { s.numOfRecords = 0x7FFFFFFF; }, "runs past the end"},
        {"more names than bytes", [](ArchivePlan& s) { s.totalEntries = 32767; s.countAfterDirs = 2; }, "32766 names"},
        {"file count negative", [](ArchivePlan& s) { s.countAfterDirs = -5; }, "is negative (-5)"},
        {"file count huge", [](ArchivePlan& s) { s.countAfterDirs = 32767; }, "file table of 32767 records"},
        {"start overflows", [](ArchivePlan& s) { s.dirs[1].start = 32767; }, "directory record 3"},
        {"data position overflows", [](ArchivePlan& s) { s.dataOffset = 0x7FFFFFF0; }, "out of range"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        ArchivePlan plan = smallPlan(2);
        c.change(plan);
        Attempt a;
        attempt(a, dir.write("bad.big", buildArchive(plan)));
        expectCleanFailure(a, c.what);
        EXPECT_NE(a.status.message().find(c.expected), std::string::npos) << c.what << ": " << a.status.message();
    }
}

TEST(BadArchive, FlippedBytesNeverCrash) {
    const Bytes whole = buildArchive(smallPlan(2));
    const PlanOffsets layout = offsetsOf(smallPlan(2));
    TempDir dir;
    for (size_t at = 0; at < layout.dataArea; ++at) {
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x80}, uint8_t{0x7F}}) {
            Bytes b = whole;
            b[at] = value;
            Attempt a;
            attempt(a, dir.write("flip.big", b));
            if (a.status.ok()) {
                EXPECT_EQ(a.index.entries.size(), static_cast<size_t>(a.index.totalEntries()));
                EXPECT_GE(a.tree.size(), 1u);
            } else {
                EXPECT_TRUE(a.index.entries.empty());
            }
        }
    }
}

TEST(RealArchives, HomeworldArchiveLoadsAllEntries) {
    const auto dir = realArchivesDir();
    if (dir.empty()) GTEST_SKIP() << "real archives not present";
    Attempt a;
    attempt(a, dir / "hw2-mod-options.big");
    ASSERT_TRUE(a.status.ok()) << a.status.message();
    EXPECT_EQ(stripNuls(a.index.archiveName), "Data");
    EXPECT_EQ(a.index.totalEntries(), 902);
    EXPECT_EQ(a.index.dirCount(), 12);
    EXPECT_EQ(a.tree.size(), 903u);
    EXPECT_EQ(a.host.statusText, "902 entries found.");
    size_t files = 0;
    for (const auto& n : a.tree.nodes()) files += n.key.find('|') != std::string::npos;
    EXPECT_EQ(files, 890u);
}

TEST(RealArchives, WideRecordArchivesFailCleanlyOrLoadSafely) {
    const auto dir = realArchivesDir();
    if (dir.empty()) GTEST_SKIP() << "real archives not present";
    for (const char* name : {"v2-wide-records-268-block.sga", "v2-wide-records-images.sga",
                             "v2-wide-records-malformed.sga", "v2-wide-records-no-block.sga",
                             "v2-wide-records-small.sga"}) {
        Attempt a;
        attempt(a, dir / name);
        if (a.status.ok()) {
            EXPECT_EQ(a.index.entries.size(), static_cast<size_t>(a.index.totalEntries())) << name;
        } else {
            expectCleanFailure(a, name);
        }
    }
}

} // namespace
} // namespace sga
