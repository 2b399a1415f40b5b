// The layout table: keys name one layout each, and every layout reports the
// same way, loaded or not, whichever reader read it.

#include "archive/ArchiveOpen.h"
#include "archive/tests/LayoutTesting.h"
#include "tests/support/ArchiveWriter.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <optional>

namespace sga::testing {
namespace {

TEST(LayoutTable, KeysNameOneLayoutEach) {
    const std::vector<std::pair<std::string, std::optional<Layout>>> cases = {
        {"V2Narrow", Layout::V2Narrow}, {"v2wide", Layout::V2Wide}, {"V5A", Layout::V5A},
        {"v5b", Layout::V5B},           {"V10", Layout::V10},       {"V1", std::nullopt},
        {"V10 ", std::nullopt},         {"", std::nullopt},
    };
    for (const auto& [key, layout] : cases) {
        const Expected<Layout> found = layoutNamed(key);
        if (layout) {
            ASSERT_TRUE(found.ok()) << key << ": " << found.message();
            EXPECT_EQ(*found, *layout) << key;
        } else {
            ASSERT_FALSE(found.ok()) << key;
            EXPECT_NE(found.message().find("V2Narrow, V2Wide, V4"), std::string::npos) << found.message();
        }
    }
    for (const LayoutTraits& row : layoutTable()) EXPECT_EQ(*layoutNamed(row.key), row.layout) << row.key;
}

struct Report {
    OpenedArchive archive;
    MemoryLog log;
    RecordingHost host;
    Status status;
};

// Every row: the sample archive of its layout, whole and cut after 200 bytes.
std::vector<std::pair<Layout, Bytes>> everyLayout() {
    ArchivePlan narrow;
    narrow.dirs = {{"art", 1}};
    narrow.files = {{.name = "a.txt", .data = textBytes("a")}, {.name = "b.lua", .data = textBytes("b")}};
    std::vector<std::pair<Layout, Bytes>> out{{Layout::V2Narrow, buildArchive(narrow)}};
    for (Layout l : allLayouts()) out.emplace_back(l, buildLayout(samplePlan(l)));
    return out;
}

TEST(LayoutTable, EveryLayoutReportsALoadTheSameWay) {
    for (const auto& [layout, bytes] : everyLayout()) {
        const LayoutTraits& row = traitsOf(layout);
        TempDir dir;
        Report r;
        r.status = openAnyArchive(dir.write("whole.sga", bytes), r.archive, r.log, r.host);
        ASSERT_TRUE(r.status.ok()) << row.key << ": " << r.status.message();
        const std::string count = std::to_string(r.archive.model.entryCount()) + " entries found.";
        // The 17-byte reader's status text is the count alone; the others name the version.
        if (layout == Layout::V2Narrow) {
            EXPECT_EQ(r.host.statusText, count);
        } else {
            EXPECT_EQ(r.host.statusText.rfind(count + " Version " + std::to_string(row.major) + ".", 0), 0u)
                << r.host.statusText;
            EXPECT_NE(r.host.statusText.find(std::string(row.games)), std::string::npos) << r.host.statusText;
        }
        ASSERT_GE(r.log.lines.size(), 3u);
        EXPECT_EQ(r.log.lines.front().rfind("Opened ", 0), 0u) << row.key;
        EXPECT_EQ(r.log.lines.end()[-2], "Finished parsing - " + count) << row.key;
        EXPECT_EQ(r.log.lines.back(), "Open SGA finished!") << row.key;
    }
}

TEST(LayoutTable, EveryLayoutReportsAFailureTheSameWay) {
    for (auto [layout, bytes] : everyLayout()) {
        bytes.resize(200);
        TempDir dir;
        Report r;
        r.status = openAnyArchive(dir.write("cut.sga", bytes), r.archive, r.log, r.host);
        const std::string key(traitsOf(layout).key);
        ASSERT_FALSE(r.status.ok()) << key;
        EXPECT_EQ(r.status.message().rfind("Cannot load cut.sga: ", 0), 0u) << r.status.message();
        EXPECT_NE(r.status.code(), ErrorCode::Failed) << key << ": " << r.status.message();
        EXPECT_EQ(r.host.statusText, r.status.message()) << key;
        EXPECT_EQ(r.log.lines.back(), r.status.message()) << key;
        EXPECT_TRUE(r.archive.empty() && r.archive.tree.size() == 0) << key;
        EXPECT_FALSE(r.host.isBusy) << key;
    }
}

} // namespace
} // namespace sga::testing
