// The unified diff against "diff -u" of the same two files.
#include "cli/UnifiedDiff.h"
#include "cli/tests/CliTesting.h"

#include <random>

namespace sga::cli {
namespace {

using namespace sga::testing;

// What "diff -u" prints for the two texts under the same labels.
std::string systemDiff(const TempDir& dir, const std::string& a, const std::string& b) {
    const auto pa = dir.write("a.txt", textBytes(a)), pb = dir.write("b.txt", textBytes(b));
    const ProgramRun r = runShell(dir, "diff -u --label OLD/x.lua --label NEW/x.lua " + shellQuoted(pa.string()) + " " +
                                    shellQuoted(pb.string()));
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;
    return r.out;
}

struct TextPair {
    const char* what;
    std::string a, b;
};

class AgainstDiffU : public ::testing::TestWithParam<TextPair> {};

TEST_P(AgainstDiffU, PrintsWhatDiffUPrints) {
    const TextPair& c = GetParam();
    TempDir dir;
    EXPECT_EQ(unifiedDiff(c.a, c.b, "OLD/x.lua", "NEW/x.lua"), systemDiff(dir, c.a, c.b)) << c.what;
}

std::string numbered(int from, int to) {
    std::string s;
    for (int i = from; i <= to; ++i) s += "line " + std::to_string(i) + "\n";
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    UnifiedDiff, AgainstDiffU,
    ::testing::Values(
        TextPair{"equal", "a\nb\n", "a\nb\n"},
        TextPair{"one line changed", "a\nb\nc\n", "a\nB\nc\n"},
        TextPair{"into an empty text", "", "a\nb\n"},
        TextPair{"to an empty text", "a\nb\n", ""},
        TextPair{"a line added at the end", "a\nb\n", "a\nb\nc\n"},
        TextPair{"a line removed at the start", "a\nb\nc\n", "b\nc\n"},
        TextPair{"a last line loses its newline", "a\nb\n", "a\nb"},
        TextPair{"a last line gains its newline", "a\nb", "a\nb\n"},
        TextPair{"no newline, kept as context", "x\na\nb", "y\na\nb"},
        TextPair{"two hunks far apart", numbered(1, 30), "line 1\nchanged\n" + numbered(3, 27) + "changed\n" + numbered(29, 30)},
        TextPair{"two changes merged into one hunk", numbered(1, 20), "line 1\nX\n" + numbered(3, 8) + "Y\n" + numbered(10, 20)},
        TextPair{"gap of seven lines: two hunks", numbered(1, 20), "X\n" + numbered(2, 8) + "Y\n" + numbered(10, 20)},
        TextPair{"a repeated line inserted", "end\nend\nend\nx\n", "end\nend\nend\nend\nx\n"},
        TextPair{"a block of lua inserted among alike blocks",
                 "f = {\n  a = 1,\n}\ng = {\n  a = 1,\n}\n", "f = {\n  a = 1,\n}\nh = {\n  a = 1,\n}\ng = {\n  a = 1,\n}\n"},
        TextPair{"a blank line removed between blocks", "a\n\nb\n\nc\n", "a\n\nb\nc\n"},
        TextPair{"everything different", "a\nb\nc\n", "x\ny\n"},
        TextPair{"lines moved", "1\n2\n3\n4\n5\n", "4\n5\n1\n2\n3\n"},
        TextPair{"CR LF lines", "a\r\nb\r\nc\r\n", "a\r\nB\r\nc\r\n"}));

// Lines removed and added by a unified diff.
std::pair<int, int> editCounts(const std::string& diff) {
    std::pair<int, int> counts{0, 0};
    std::istringstream in(diff);
    std::string line;
    for (int header = 0; header < 2 && std::getline(in, line); ++header) {}
    while (std::getline(in, line)) {
        if (line.starts_with("-")) ++counts.first;
        if (line.starts_with("+")) ++counts.second;
    }
    return counts;
}

// The new text as the diff tells it: context and added lines of the hunks,
// the old text's lines between hunks (a diff of no hunks gives the old text).
std::string applied(const std::string& diff, const std::string& oldText, const std::string& newText) {
    if (diff.empty()) return oldText;
    std::vector<std::string> oldLines;
    std::istringstream o(oldText);
    for (std::string l; std::getline(o, l);) oldLines.push_back(l);
    std::istringstream in(diff);
    std::string line, out;
    for (int header = 0; header < 2 && std::getline(in, line); ++header) {}
    size_t next = 0;   // old lines used so far
    while (std::getline(in, line)) {
        if (line.starts_with("@@")) {
            const size_t start = std::stoul(line.substr(4));
            const size_t first = line.find(',') < line.find(' ', 4) && std::stoul(line.substr(line.find(',') + 1)) == 0
                                     ? start
                                     : start - 1;
            for (; next < first; ++next) out += oldLines[next] + "\n";
            continue;
        }
        if (line.starts_with("\\")) {
            if (!out.empty()) out.pop_back();
            continue;
        }
        if (line[0] != '-') out += line.substr(1) + "\n";
        if (line[0] != '+') ++next;
    }
    for (; next < oldLines.size(); ++next) out += oldLines[next] + "\n";
    (void)newText;
    return out;
}

TEST(UnifiedDiff, AgreesWithDiffUOnRandomEdits) {
    // Texts of few distinct lines give many equally short edit scripts.
    std::mt19937 random(11);
    TempDir dir;
    const char* lines[] = {"end\n", "x = 1\n", "\n", "y = 2\n", "}\n"};
    auto text = [&](size_t count) {
        std::string s;
        for (size_t i = 0; i < count; ++i) s += lines[random() % 5];
        return s;
    };
    int agreed = 0;
    for (int round = 0; round < 150; ++round) {
        const std::string a = text(random() % 25);
        std::string b = a;
        // A few edits: insert, delete or replace a line.
        std::vector<std::string> split;
        for (size_t at = 0; at < b.size();) {
            const size_t end = b.find('\n', at) + 1;
            split.push_back(b.substr(at, end - at));
            at = end;
        }
        for (int e = 0, edits = static_cast<int>(random() % 4) + 1; e < edits; ++e) {
            const size_t at = split.empty() ? 0 : random() % (split.size() + 1);
            switch (random() % 3) {
            case 0: split.insert(split.begin() + static_cast<long>(at), lines[random() % 5]); break;
            case 1: if (at < split.size()) split.erase(split.begin() + static_cast<long>(at)); break;
            default: if (at < split.size()) split[at] = lines[random() % 5]; break;
            }
        }
        b.clear();
        for (const std::string& s : split) b += s;
        // Where several shortest scripts exist, the two may pick different
        // lines to keep; the number of lines removed and added must agree,
        // and the diff must turn the old text into the new.
        const std::string expected = systemDiff(dir, a, b), ours = unifiedDiff(a, b, "OLD/x.lua", "NEW/x.lua");
        ASSERT_EQ(editCounts(ours), editCounts(expected)) << "old:\n" << a << "new:\n" << b;
        ASSERT_EQ(applied(ours, a, b), b);
        ++agreed;
    }
    EXPECT_EQ(agreed, 150);
}

TEST(UnifiedDiff, VeryDifferentTextsStayCorrectPastTheCostLimit) {
    // With a tiny cost limit the diff may be longer, but applying it must
    // still turn the old text into the new one: check by the lines kept.
    std::mt19937 random(3);
    std::string a, b;
    for (int i = 0; i < 400; ++i) a += std::to_string(random() % 50) + "\n";
    for (int i = 0; i < 400; ++i) b += std::to_string(random() % 50) + "\n";
    const std::string diff = unifiedDiff(a, b, "a", "b", {.context = 1000000, .costLimit = 2});
    std::string oldSide, newSide;
    std::istringstream in(diff);
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    while (std::getline(in, line)) {
        if (line.starts_with("@@")) continue;
        if (line[0] != '+') oldSide += line.substr(1) + "\n";
        if (line[0] != '-') newSide += line.substr(1) + "\n";
    }
    EXPECT_EQ(oldSide, a);
    EXPECT_EQ(newSide, b);
}

} // namespace
} // namespace sga::cli
