// The detector: the version chooses the layout, the ToC's offsets tell the
// two forms of version 2 and of version 5 apart, version 4.1 is refused.

#include "archive/tests/LayoutTesting.h"

#include <gtest/gtest.h>

#include <functional>

namespace sga::testing {
namespace {

using sga::Layout;

struct DetectCase {
    std::string name;
    std::function<Bytes()> bytes;
    Layout layout;                 // when code is None
    ErrorCode code = ErrorCode::None;
};

LayoutPlan withVersion(Layout layout, uint16_t major, uint16_t minor = 0) {
    LayoutPlan plan = samplePlan(layout);
    plan.major = major;
    plan.minor = minor;
    return plan;
}

std::vector<DetectCase> detectCases() {
    std::vector<DetectCase> cases;
    for (Layout l : allLayouts())
        cases.push_back({"written_" + layoutLabel(l), [l] { return buildLayout(samplePlan(l)); }, l});
    for (Layout l : {Layout::V2Wide, Layout::V5A, Layout::V5B})
        cases.push_back({"no_files_" + layoutLabel(l),
                         [l] {
                             LayoutPlan plan = samplePlan(l);
                             plan.drives[0].root = FolderPlan{};
                             return buildLayout(plan);
                         },
                         // Without files both record widths fit: the 17-byte reader keeps them.
                         l == Layout::V2Wide ? Layout::V2Narrow : l});
    cases.push_back({"seventeen_byte_records",
                     [] {
                         ArchivePlan plan;
                         plan.dirs = {{"art", 0}};
                         plan.files = {{.name = "a.txt", .data = textBytes("a")}, {.name = "b.txt", .data = textBytes("b")}};
                         return buildArchive(plan);
                     },
                     Layout::V2Narrow});
    for (uint16_t major : {0, 1, 3, 11, 0xFFFF})
        cases.push_back({"version_" + std::to_string(major),
                         [major] { return buildLayout(withVersion(Layout::V10, major)); }, Layout::V2Narrow});
    cases.push_back({"version_4_1", [] { return buildLayout(withVersion(Layout::V4, 4, 1)); }, Layout::V4,
                     ErrorCode::Unsupported});
    cases.push_back({"version_5_fitting_neither",
                     [] {
                         Bytes b = buildLayout(samplePlan(Layout::V5B));
                         b[184] ^= 0x40;   // the drive table's offset
                         return b;
                     },
                     Layout::V5B, ErrorCode::BadField});
    for (size_t size : {0, 8, 11})
        cases.push_back({"short_" + std::to_string(size),
                         [size] {
                             Bytes b = buildLayout(samplePlan(Layout::V10));
                             b.resize(size);
                             return b;
                         },
                         Layout::V10, ErrorCode::Truncated});
    cases.push_back({"version_2_without_a_toc_header",
                     [] {
                         Bytes b = buildLayout(samplePlan(Layout::V2Wide));
                         b.resize(190);
                         return b;
                     },
                     Layout::V2Wide, ErrorCode::Truncated});
    return cases;
}

class LayoutDetectTest : public ::testing::TestWithParam<DetectCase> {};

TEST_P(LayoutDetectTest, ChoosesTheLayoutOrSaysWhy) {
    const DetectCase& c = GetParam();
    LayoutFiles files;
    const auto r = files.read(c.bytes());
    if (c.code == ErrorCode::None) {
        ASSERT_TRUE(r.layout.ok()) << r.layout.message();
        EXPECT_EQ(*r.layout, c.layout);
    } else {
        ASSERT_FALSE(r.layout.ok());
        EXPECT_EQ(r.layout.status().code(), c.code) << r.layout.message();
        EXPECT_FALSE(r.layout.message().empty());
    }
}

TEST(LayoutDetect, VersionFourOneSaysWhyItIsRefused) {
    LayoutFiles files;
    const auto r = files.read(buildLayout(withVersion(Layout::V4, 4, 1)));
    ASSERT_FALSE(r.layout.ok());
    EXPECT_EQ(r.layout.message(), "version 4.1 archives encrypt their names; they cannot be read");
}

INSTANTIATE_TEST_SUITE_P(Cases, LayoutDetectTest, ::testing::ValuesIn(detectCases()),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace sga::testing
