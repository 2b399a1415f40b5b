// The key-level lines sga diff --content prints for modified RGD entries.
#include "cli/ContentDiff.h"
#include "preview/tests/RgdBuilder.h"
#include "tests/support/ArchiveWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <tuple>

namespace sga::testing {
namespace {

using test::TestValue;

std::vector<uint8_t> i32(int32_t v) {
    std::vector<uint8_t> out;
    test::appendLe32(out, static_cast<uint32_t>(v));
    return out;
}

// Keys 0x10, 0x20 and 0x30 are named by the dictionary folder; 0x40 is not.
const TestValue kSpeed{0x10, 0, test::f32(2.5f), {}};
const TestValue kHealth{0x20, 1, i32(100), {}};

TestValue weapons(int32_t damage) { return {0x30, 100, {}, {{0x40, 1, i32(damage), {}}}}; }

struct RgdDiffCase {
    const char* name;
    std::vector<TestValue> old, now;
    std::string expected;
};

class RgdKeyDiff : public ::testing::TestWithParam<RgdDiffCase> {};

TEST_P(RgdKeyDiff, LinesNameEachChangedKeyByPath) {
    static TempDir data;
    std::filesystem::create_directories(data.path() / "sga" / "dictionaries");
    std::ofstream(data.path() / "sga" / "dictionaries" / "names.txt")
        << "#RGD_DIC\n0x00000010=speed\n0x00000020=health\n0x00000030=weapons\n";
    const char* const saved = std::getenv("XDG_DATA_HOME");
    const std::string before = saved ? saved : "";
    setenv("XDG_DATA_HOME", data.path().c_str(), 1);   // read once, at the first RGD diff
    const RgdDiffCase& c = GetParam();
    const auto oldBytes = test::firstGeneration(c.old), newBytes = test::firstGeneration(c.now);
    const cli::ContentDiffer differ = cli::contentDifferFor("attrib\\unit.RGD");
    ASSERT_NE(differ, nullptr);
    const std::string lines = differ({"a/unit.rgd", "b/unit.rgd", oldBytes, newBytes});
    saved ? setenv("XDG_DATA_HOME", before.c_str(), 1) : unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(lines, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RgdKeyDiff,
    ::testing::Values(
        RgdDiffCase{"ChangedValue", {kSpeed, kHealth}, {kSpeed, {0x20, 1, i32(120), {}}}, "~ health: 100 -> 120\n"},
        RgdDiffCase{"AddedKey", {kHealth}, {kHealth, kSpeed}, "+ speed = 2.5\n"},
        RgdDiffCase{"RemovedKey", {kSpeed, kHealth}, {kHealth}, "- speed\n"},
        RgdDiffCase{"NestedTable", {weapons(5), kSpeed}, {kHealth, weapons(7)},
                    "+ health = 100\n- speed\n~ weapons.0x00000040: 5 -> 7\n"},
        RgdDiffCase{"TableBecomesEmpty", {weapons(5)}, {{0x30, 100, {}, {}}},
                    "+ weapons = {}\n- weapons.0x00000040\n"},
        RgdDiffCase{"SameKeys", {kSpeed}, {kSpeed}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RgdKeyDiff, AnUnreadableSideIsOneLine) {
    const std::vector<uint8_t> good = test::firstGeneration({kSpeed}), bad(good.begin(), good.begin() + 30);
    const cli::ContentDiffer differ = cli::contentDifferFor("unit.rgd");
    for (const auto& [old, now, start] : {std::tuple{&good, &bad, "b/unit.rgd: cannot compare keys: RGD: "},
                                          std::tuple{&bad, &bad, "a/unit.rgd: cannot compare keys: RGD: "}}) {
        const std::string lines = differ({"a/unit.rgd", "b/unit.rgd", *old, *now});
        EXPECT_EQ(lines.rfind(start, 0), 0u) << lines;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    }
}

} // namespace
} // namespace sga::testing
