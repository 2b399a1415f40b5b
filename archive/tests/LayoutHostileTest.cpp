// Every reader on broken archives: each prefix of a valid archive and each
// single-byte change of one either fails with a message or gives a model
// whose links hold together; none crashes or hangs.

#include "archive/tests/LayoutTesting.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sga::testing {
namespace {

using sga::Layout;

// What every model handed back must satisfy, however odd the input.
void expectConsistent(const ArchiveModel& m) {
    for (size_t i = 0; i < m.folders.size(); ++i) {
        const ArchiveFolder& f = m.folders[i];
        ASSERT_LT(f.parent, static_cast<int32_t>(i));
        ASSERT_GE(f.parent, -1);
        ASSERT_LT(static_cast<size_t>(f.drive), m.drives.size());
    }
    for (const ArchiveDrive& d : m.drives) ASSERT_LT(d.rootFolder, m.folderCount());
    for (const ArchiveFile& f : m.files) {
        ASSERT_GE(f.folderIndex, -1);
        ASSERT_LT(f.folderIndex, m.folderCount());
        ASSERT_EQ(f.folder, f.folderIndex < 0 ? std::string() : m.folders[static_cast<size_t>(f.folderIndex)].path);
        ASSERT_GE(f.dataPos, 0);
        if (f.blockPos >= 0) {
            ASSERT_LE(f.blockPos + f.blockSize, m.fileSize);
        }
    }
}

class LayoutHostileTest : public ::testing::TestWithParam<Layout> {};

TEST_P(LayoutHostileTest, EveryPrefixFailsOrLeavesOnlyDataPastTheEnd) {
    const Bytes full = buildLayout(samplePlan(GetParam()));
    LayoutFiles files;
    const auto whole = files.read(full);
    ASSERT_TRUE(whole.model.ok()) << whole.model.message();
    for (size_t n = 0; n < full.size(); ++n) {
        const auto r = files.read(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
        if (!r.layout.ok() || !r.model.ok()) {
            const Status& s = r.layout.ok() ? r.model.status() : r.layout.status();
            ASSERT_FALSE(s.message().empty()) << n;
            continue;
        }
        // Only cuts through file data (and the blocks before it) still read.
        const ArchiveModel& m = *r.model;
        ASSERT_EQ(m.files.size(), whole.model->files.size()) << n;
        const int64_t end = static_cast<int64_t>(n);
        ASSERT_TRUE(std::any_of(m.files.begin(), m.files.end(),
                                [end](const ArchiveFile& f) { return f.dataPos + f.storedSize > end; }))
            << "prefix of " << n << " bytes reads as whole";
        expectConsistent(m);
    }
}

TEST_P(LayoutHostileTest, ChangedBytesNeverBreakTheModel) {
    LayoutPlan plan = samplePlan(GetParam());
    // Keep the sweep short: the same tables without most file data.
    for (auto& folder : plan.drives[0].root.folders)
        for (auto& f : folder.files) f.data.resize(std::min<size_t>(f.data.size(), 4));
    const Bytes full = buildLayout(plan);
    LayoutFiles files;
    size_t read = 0, refused = 0;
    for (size_t at = 0; at < full.size(); ++at) {
        for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(full[at] ^ 0x01)}) {
            if (value == full[at]) continue;
            Bytes b = full;
            b[at] = value;
            const auto r = files.read(b);
            if (r.model.ok()) {
                ++read;
                expectConsistent(*r.model);
            } else {
                ++refused;
                const Status& s = r.layout.ok() ? r.model.status() : r.layout.status();
                ASSERT_FALSE(s.message().empty());
            }
        }
    }
    EXPECT_GT(read, 0u);
    EXPECT_GT(refused, 0u);
}

TEST_P(LayoutHostileTest, ErrorsNameRecordAndOffset) {
    struct Case { const char* what; void (*change)(LayoutPlan&); const char* words; };
    const Case cases[] = {
        {"root folder out of range", [](LayoutPlan& p) { p.drives[0].root.subfolders = {0, 1}; }, "folder record 0 at offset "},
        {"drive root outside", [](LayoutPlan& p) { p.drives.push_back(p.drives[0]); p.drives[1].root.subfolders = {50, 60}; },
         "folder record"},
    };
    LayoutFiles files;
    for (const Case& c : cases) {
        LayoutPlan plan = samplePlan(GetParam());
        c.change(plan);
        const auto r = files.read(buildLayout(plan));
        ASSERT_TRUE(r.layout.ok()) << c.what;
        ASSERT_FALSE(r.model.ok()) << c.what;
        EXPECT_NE(r.model.message().find(c.words), std::string::npos) << c.what << ": " << r.model.message();
    }
}

TEST_P(LayoutHostileTest, CountsBeyondTheFileAreRefusedBeforeAnythingIsSized) {
    const Bytes full = buildLayout(samplePlan(GetParam()));
    LayoutFiles files;
    const auto whole = files.read(full);
    ASSERT_TRUE(whole.model.ok());
    const bool wide = GetParam() != Layout::V2Wide && GetParam() != Layout::V4 && GetParam() != Layout::V5A;
    struct Case { size_t pair; const char* words; };
    for (const Case& c : {Case{2, "file table of "}, Case{3, "name table"}}) {
        Bytes b = full;
        // The count of the ToC header's pair: u16 up to version 5 (but 5-B), u32 after.
        const size_t at = static_cast<size_t>(whole.model->tocOffset) + (wide ? 8 : 6) * c.pair + 4;
        b[at] = 0xFF, b[at + 1] = 0xFF;
        if (wide) b[at + 2] = 0xFF, b[at + 3] = 0x7F;
        const auto r = files.read(b);
        // A file count no longer fits the record widths the detector tells apart.
        if (!r.layout.ok() || *r.layout != GetParam()) continue;
        ASSERT_FALSE(r.model.ok()) << c.words;
        EXPECT_EQ(r.model.status().code(), ErrorCode::Truncated) << r.model.message();
        EXPECT_NE(r.model.message().find(c.words), std::string::npos) << r.model.message();
    }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, LayoutHostileTest, ::testing::ValuesIn(allLayouts()),
                         [](const auto& info) { return layoutLabel(info.param); });

} // namespace
} // namespace sga::testing
