// sga grep: the line search itself, and the command's output and exit codes.
#include "cli/Grep.h"
#include "cli/tests/CliTesting.h"

namespace sga::testing {
namespace {

using cli::EntrySearch;
using cli::GrepOptions;
using cli::GrepPattern;

struct SearchCase {
    const char* what;
    std::string pattern;
    GrepOptions options;
    std::string text;
    std::string output;
};

class Search : public ::testing::TestWithParam<SearchCase> {};

TEST_P(Search, ReportsTheMatchingLines) {
    const SearchCase& c = GetParam();
    auto pattern = GrepPattern::compile(c.pattern, c.options);
    ASSERT_TRUE(pattern.ok()) << pattern.message();
    // Whole, and fed in pieces cut at every place.
    for (size_t cut = 0; cut <= c.text.size(); ++cut) {
        EntrySearch search(**pattern, c.options, "p");
        if (cut == c.text.size()) {
            search.feed(c.text.data(), c.text.size());
        } else {
            search.feed(c.text.data(), cut);
            search.feed(c.text.data() + cut, c.text.size() - cut);
        }
        search.finish();
        EXPECT_EQ(search.output(), c.output) << c.what << ", cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Grep, Search,
    ::testing::Values(
        SearchCase{"lines with their numbers", "b+", {}, "a\nbb\nc\nb\n", "p:2:bb\np:4:b\n"},
        SearchCase{"a last line without a newline", "z", {}, "a\nz", "p:2:z\n"},
        SearchCase{"one line once, however many matches", "a", {}, "aaa\n", "p:1:aaa\n"},
        SearchCase{"CR LF lines print without the CR", "y", {}, "x\r\ny\r\n", "p:2:y\n"},
        SearchCase{"no match", "q", {}, "a\nb\n", ""},
        SearchCase{"-i", "HELLO", {.ignoreCase = true}, "Hello\nbye\n", "p:1:Hello\n"},
        SearchCase{"case counts without -i", "HELLO", {}, "Hello\n", ""},
        SearchCase{"-F takes the pattern as it is", "a.b(", {.fixed = true}, "axb(\na.b(\n", "p:2:a.b(\n"},
        SearchCase{"-w", "cat", {.words = true}, "concat\ncat food\nthe cat\ncats\n", "p:2:cat food\np:3:the cat\n"},
        SearchCase{"-w -F", "a.b", {.fixed = true, .words = true}, "xa.b\na.b y\n", "p:2:a.b y\n"},
        SearchCase{"-l", "b", {.pathsOnly = true}, "b\nb\n", "p\n"},
        SearchCase{"-c", "b", {.counts = true}, "b\na\nbb\n", "p:2\n"},
        SearchCase{"-c without a match prints nothing", "q", {.counts = true}, "b\n", ""},
        SearchCase{"^ and $ at each line", "^b$", {}, "ab\nb\nba\n", "p:2:b\n"},
        SearchCase{"a match never spans lines", "a\\sb", {}, "a\nb\n", ""},
        SearchCase{"an empty match selects every line", "x*", {}, "a\nb\n", "p:1:a\np:2:b\n"},
        SearchCase{"a NUL in the first 8 KiB: binary", "b", {}, std::string("a\0\nb\n", 5), "p: binary entry matches\n"},
        SearchCase{"binary with -c counts lines", "b", {.counts = true}, std::string("b\0\nb\n", 5), "p:2\n"},
        SearchCase{"a NUL after 8 KiB: text", "b", {}, std::string(8192, 'a') + "\n" + std::string("\0\nb\n", 4),
                   "p:3:b\n"}));

TEST(GrepPattern, ABadExpressionIsRefused) {
    const auto pattern = GrepPattern::compile("a(", {});
    ASSERT_FALSE(pattern.ok());
    EXPECT_NE(pattern.message().find("bad regular expression"), std::string::npos);
}

namespace fs = std::filesystem;

const Contents kFiles = {
    {"art\\a.lua", textBytes("health = 100\nspeed = 5\n")},
    {"art\\b.lua", textBytes("-- no values\n")},
    {"attrib\\x.txt", textBytes("Health: 7\n")},
    {"bin\\model.bin", Bytes{'h', 'e', 'a', 'l', 't', 'h', 0, 1, 2}},
    {"locale\\en.ucs", Bytes{0xFF, 0xFE, '1', 0, '\t', 0, 'h', 0, 'e', 0, 'a', 0, 'l', 0, 't', 0, 'h', 0, 0xE9, 0, '\n', 0}},
};

struct CommandCase {
    std::vector<std::string> args;   // before the archives
    std::string out;                 // ARCHIVE stands for the second archive's path
    int status;
};

class GrepCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(GrepCommand, PrintsInListingOrderAndExitsAsGrepDoes) {
    const CommandCase& c = GetParam();
    TempDir dir;
    const std::string a = dir.write("a.sga", layoutArchive(Layout::V10, kFiles)).string();
    const std::string b = dir.write("b.big", narrowArchive({{"z.lua", textBytes("health = 1\n")}})).string();
    for (const char* jobs : {"1", "2", "7"}) {
        std::vector<std::string> args = {"grep", "-j", jobs};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back(a);
        const bool two = std::find(c.args.begin(), c.args.end(), "+b") != c.args.end();
        if (two) {
            args.erase(std::find(args.begin(), args.end(), "+b"));
            args.push_back(b);
        }
        const ProgramRun r = sga(dir, args);
        std::string expected = c.out;
        for (auto at = expected.find("A:"); at != std::string::npos; at = expected.find("A:", at + a.size()))
            expected.replace(at, 1, a);
        for (auto at = expected.find("B:"); at != std::string::npos; at = expected.find("B:", at + b.size()))
            expected.replace(at, 1, b);
        EXPECT_EQ(r.out, expected) << ::testing::PrintToString(c.args) << " -j " << jobs;
        EXPECT_EQ(r.status, c.status) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Grep, GrepCommand,
    ::testing::Values(
        CommandCase{{"health"}, "art\\a.lua:1:health = 100\nbin\\model.bin: binary entry matches\nlocale\\en.ucs:1:1\thealth\xC3\xA9\n", 0},
        CommandCase{{"-i", "health"},
                    "art\\a.lua:1:health = 100\nattrib\\x.txt:1:Health: 7\nbin\\model.bin: binary entry matches\n"
                    "locale\\en.ucs:1:1\thealth\xC3\xA9\n",
                    0},
        CommandCase{{"-l", "-i", "health"}, "art\\a.lua\nattrib\\x.txt\nbin\\model.bin\nlocale\\en.ucs\n", 0},
        CommandCase{{"-c", "="}, "art\\a.lua:2\n", 0},
        CommandCase{{"-F", "-w", "5"}, "art\\a.lua:2:speed = 5\n", 0},
        CommandCase{{"--glob", "*.lua", "--glob", "attrib", "-i", "health"}, "art\\a.lua:1:health = 100\nattrib\\x.txt:1:Health: 7\n", 0},
        CommandCase{{"--glob", "nothing", "health"}, "", 1},
        CommandCase{{"absent"}, "", 1},
        CommandCase{{"+b", "health ="}, "A:art\\a.lua:1:health = 100\nB:z.lua:1:health = 1\n", 0},
        CommandCase{{"a("}, "", 2}));

TEST(GrepCommand, TroubleIsExitTwoAndTheSearchGoesOn) {
    TempDir dir;
    LayoutPlan plan;
    plan.layout = Layout::V10;
    DrivePlan drive;
    drive.root.files = {{.name = "a.txt", .data = Bytes(5000, 'a'), .storeAs = StoreAs::ZlibStream},
                        {.name = "b.txt", .data = textBytes("find me\n")}};
    plan.drives = {drive};
    const LayoutBytes parts = buildLayoutParts(plan);
    Bytes archive = parts.joined();
    archive[static_cast<size_t>(parts.dataPos[0]) + 4] ^= 0xFF;
    const std::string bad = dir.write("bad.sga", archive).string();
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {{{"grep", "find", bad}, "b.txt:1:find me\n"},
                 {{"grep", "find", (dir.path() / "missing.sga").string(), bad}, bad + ":b.txt:1:find me\n"},
                 {{"grep", "nothing", bad}, ""}};
    for (const auto& c : cases) {
        const ProgramRun r = sga(dir, c.args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_FALSE(r.err.empty());
    }
}

} // namespace
} // namespace sga::testing
