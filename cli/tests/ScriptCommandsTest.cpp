// list --json, info --json, entry selection for list, extract and verify,
// and cat --text, run through the sga binary.
#include "cli/tests/CliTesting.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace sga::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const Contents kSample = {
    {"art\\a.lua", textBytes("print('a')\n")},
    {"art\\fx\\spark.tga", Bytes(300, 7)},
    {"attrib\\x.rgd", Bytes(40, 1)},
    {"attrib\\deep\\y.rgd", Bytes(41, 2)},
    {"readme.txt", textBytes("read me\n")},
};

struct PatternCase {
    std::vector<std::string> args;
    std::vector<std::string> listed;
    int status;
    const char* error;   // a part of stderr, or ""
};

class ListPatterns : public ::testing::TestWithParam<PatternCase> {};

TEST_P(ListPatterns, SelectAsTheRulesSay) {
    const PatternCase& c = GetParam();
    // Both encodings of names: the 17-byte layout (Windows-1252) and version 10 (UTF-8).
    for (bool narrow : {true, false}) {
        TempDir dir;
        const fs::path archive =
            dir.write("a.sga", narrow ? narrowArchive(kSample) : layoutArchive(Layout::V10, kSample));
        std::vector<std::string> args = {"list", archive.string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramRun r = sga(dir, args);
        EXPECT_EQ(r.status, c.status) << r.err;
        std::vector<std::string> listed = r.lines();
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, c.listed) << ::testing::PrintToString(c.args);
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Selection, ListPatterns,
    ::testing::Values(
        PatternCase{{"readme.txt"}, {"readme.txt"}, 0, ""},                                        // exact
        PatternCase{{"attrib"}, {"attrib\\deep\\y.rgd", "attrib\\x.rgd"}, 0, ""},                   // folder prefix
        PatternCase{{"attrib\\"}, {"attrib\\deep\\y.rgd", "attrib\\x.rgd"}, 0, ""},
        PatternCase{{"*.rgd"}, {"attrib\\deep\\y.rgd", "attrib\\x.rgd"}, 0, ""},                    // * across "\"
        PatternCase{{"art*.tga"}, {"art\\fx\\spark.tga"}, 0, ""},
        PatternCase{{"art\\?.lua"}, {"art\\a.lua"}, 0, ""},                                         // ?
        PatternCase{{"ART\\A.LUA"}, {"art\\a.lua"}, 0, ""},                                         // case
        PatternCase{{"art/fx"}, {"art\\fx\\spark.tga"}, 0, ""},                                     // "/"
        PatternCase{{"a*", "--exclude", "*.rgd", "--exclude", "art/fx"}, {"art\\a.lua"}, 0, ""},   // excludes
        PatternCase{{"--exclude", "a*"}, {"readme.txt"}, 0, ""},
        PatternCase{{"readme.txt", "nothing"}, {"readme.txt"}, 0, ""},   // another pattern matched
        PatternCase{{"nothing"}, {}, 1, "no entry matches nothing"},        // no match
        PatternCase{{"art\\a"}, {}, 1, "no entry matches art\\a"}));

std::string hex8(uint32_t v) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

TEST(ListJson, OneObjectAFileWithEveryField) {
    // Version 2 with 20-byte records keeps the time and the CRC-32 of the bytes before each file.
    TempDir dir;
    LayoutPlan plan;
    plan.layout = Layout::V2Wide;
    DrivePlan drive;
    drive.root.files = {{.name = "a.txt", .data = textBytes("hello"), .storeAs = StoreAs::Stored, .mtime = 1700000000},
                        {.name = "b.bin", .data = Bytes(1000, 9), .storeAs = StoreAs::ZlibStream, .mtime = 5}};
    plan.drives = {drive};
    const fs::path archive = dir.write("x.sga", buildLayout(plan));
    const ProgramRun r = sga(dir, {"list", "--json", archive.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), 2u);
    // Keys in the documented order.
    EXPECT_EQ(lines[0], R"({"path":"a.txt","size":5,"stored":5,"storage":"store","crc32":"3610a686","mtime":1700000000})");
    const json b = json::parse(lines[1]);
    EXPECT_EQ(b["storage"], "zlib");
    EXPECT_EQ(b["crc32"], hex8(crc32Of(Bytes(1000, 9))));
    EXPECT_EQ(b["size"], 1000);
    EXPECT_LT(b["stored"].get<int>(), 1000);
    EXPECT_EQ(b["mtime"], 5);
}

TEST(ListJson, ACrcOfCompressedBytesIsNoCrcOfTheBytes) {
    // Version 10 keeps the CRC-32 of the stored bytes: of the bytes only when they are stored as they are.
    TempDir dir;
    LayoutPlan plan;
    plan.layout = Layout::V10;
    DrivePlan drive;
    drive.root.files = {{.name = "a.txt", .data = textBytes("hello"), .storeAs = StoreAs::Stored},
                        {.name = "c.bin", .data = Bytes(900, 8), .storeAs = StoreAs::BrotliStream}};
    plan.drives = {drive};
    const fs::path archive = dir.write("x.sga", buildLayout(plan));
    const ProgramRun r = sga(dir, {"list", "--json", archive.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(json::parse(lines[0])["crc32"], "3610a686");
    EXPECT_EQ(json::parse(lines[1])["storage"], "brotli");
    EXPECT_TRUE(json::parse(lines[1])["crc32"].is_null());
}

TEST(ListJson, TheSeventeenByteLayoutHasNoCrcOrTimeInItsRecords) {
    TempDir dir;
    const fs::path archive = dir.write("x.big", narrowArchive(kSample));
    const ProgramRun r = sga(dir, {"list", "--json", archive.string(), "art/a.lua"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json line = json::parse(r.lines().at(0));
    EXPECT_EQ(line, json::parse(R"({"path":"art\\a.lua","size":11,"stored":11,"storage":"store","crc32":null,"mtime":null})"));
}

struct HostileName {
    std::string name;      // as stored (UTF-8 archive)
    std::string decoded;   // what the JSON string holds
    bool reported;         // named on stderr as not UTF-8
};

TEST(ListJson, HostileNamesAreRealJsonStrings) {
    const HostileName names[] = {
        {"tab\there.txt", "tab\there.txt", false},
        {"nl\nhere.txt", "nl\nhere.txt", false},
        {"esc\x1b[31mred.txt", "esc\x1b[31mred.txt", false},
        {"quote\"and'.txt", "quote\"and'.txt", false},
        {"del\x7f.txt", "del\x7f.txt", false},
        {"caf\xC3\xA9.txt", "caf\xC3\xA9.txt", false},
        {"bad\xFFutf8.txt", "bad\xEF\xBF\xBDutf8.txt", true},
        {"cut\xC3.txt", "cut\xEF\xBF\xBD.txt", true},
    };
    TempDir dir;
    LayoutPlan plan;
    plan.layout = Layout::V10;
    DrivePlan drive;
    for (const HostileName& n : names) drive.root.files.push_back({.name = n.name, .data = textBytes("x")});
    plan.drives = {drive};
    const fs::path archive = dir.write("x.sga", buildLayout(plan));
    const ProgramRun r = sga(dir, {"list", "--json", archive.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = r.lines();
    ASSERT_EQ(lines.size(), std::size(names));
    for (size_t i = 0; i < lines.size(); ++i) {
        for (char ch : lines[i]) EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << "raw control character in " << lines[i];
        EXPECT_EQ(json::parse(lines[i])["path"], names[i].decoded) << lines[i];
        // Each name that is not UTF-8 is named on stderr, the others are not.
        EXPECT_EQ(r.err.find(names[i].name.substr(0, 4)) != std::string::npos, names[i].reported) << r.err;
    }
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
}

TEST(InfoJson, OneObjectWithTheArchivesFacts) {
    TempDir dir;
    const fs::path archive = dir.write("x.sga", layoutArchive(Layout::V7, kSample));
    const ProgramRun r = sga(dir, {"info", "--json", archive.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.lines().size(), 1u);
    const json info = json::parse(r.out);
    EXPECT_EQ(info["layout"], "version 7");
    EXPECT_EQ(info["version"], "7.0");
    EXPECT_EQ(info["name"], "test archive");
    EXPECT_EQ(info["drives"], json::parse(R"([{"alias":"data","name":"data"}])"));
    EXPECT_EQ(info["files"], 5);
    // As the text form counts them.
    const ProgramRun text = sga(dir, {"info", archive.string()});
    const auto at = text.out.find("Folders:");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(info["folders"], std::stoi(text.out.substr(at + 8)));
    EXPECT_EQ(info["bytes"], 11 + 300 + 40 + 41 + 8);
    EXPECT_LE(info["stored"].get<int>(), 11 + 300 + 40 + 41 + 8);
}

TEST(ExtractPatterns, WritesOnlyTheSelectedFiles) {
    TempDir dir;
    const fs::path archive = dir.write("in/a.big", narrowArchive(kSample));
    const ProgramRun r = sga(dir, {"extract", archive.string(), "attrib", "--exclude", "*deep*", "-o", (dir.path() / "out").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> written;
    for (const auto& e : fs::recursive_directory_iterator(dir.path() / "out"))
        if (e.is_regular_file()) written.push_back(fs::relative(e.path(), dir.path() / "out").generic_string());
    EXPECT_EQ(written, std::vector<std::string>{"a.big/attrib/x.rgd"});
    EXPECT_EQ(readFile(dir.path() / "out/a.big/attrib/x.rgd"), kSample.at("attrib\\x.rgd"));

    const ProgramRun none = sga(dir, {"extract", archive.string(), "zzz", "-o", (dir.path() / "none").string()});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("no entry matches zzz"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path() / "none"));
}

TEST(VerifyPatterns, ChecksOnlyTheSelectedEntries) {
    TempDir dir;
    const fs::path archive = dir.write("a.sga", layoutArchive(Layout::V9, kSample));
    const struct {
        std::vector<std::string> patterns;
        const char* summary;
        int status;
    } cases[] = {{{}, "5 entries checked, 0 failed", 0},
                 {{"art"}, "2 entries checked, 0 failed", 0},
                 {{"readme.txt"}, "1 entry checked, 0 failed", 0},
                 {{"missing"}, "", 1}};
    for (const auto& c : cases) {
        std::vector<std::string> args = {"verify", archive.string()};
        args.insert(args.end(), c.patterns.begin(), c.patterns.end());
        const ProgramRun r = sga(dir, args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.out.find(c.summary), std::string::npos) << r.out;
    }
}

TEST(CatText, WritesUcsAsUtf8AndOtherEntriesAsTheyAre) {
    const Bytes ucs = {0xFF, 0xFE, '1', 0, '\t', 0, 'C', 0, 'a', 0, 'f', 0, 0xE9, 0, '\r', 0, '\n', 0};
    const Contents files = {{"locale\\en.ucs", ucs}, {"data\\a.lua", textBytes("x = 1\n")}};
    TempDir dir;
    const fs::path archive = dir.write("a.sga", layoutArchive(Layout::V10, files));
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {{{"locale/en.ucs", "--text"}, "1\tCaf\xC3\xA9\r\n"},
                 {{"locale/en.ucs"}, asString(ucs)},
                 {{"data/a.lua", "--text"}, "x = 1\n"}};
    for (const auto& c : cases) {
        std::vector<std::string> args = {"cat", archive.string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramRun r = sga(dir, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.out) << ::testing::PrintToString(c.args);
    }
}

} // namespace
} // namespace sga::testing
