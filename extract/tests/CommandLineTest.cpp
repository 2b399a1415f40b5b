#include "archive/ArchiveOpen.h"
// The sga binary's extract, cat and verify subcommands, run as a user would.
#include "extract/tests/ExtractFixture.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace sga {
namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

struct Result {
    int status = -1;
    Bytes out;
    std::string err;
};

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Result sga(const TempDir& dir, const std::string& args) {
    const fs::path out = dir.path() / "stdout", err = dir.path() / "stderr";
    const std::string command = quoted(SGA_BINARY) + " " + args + " >" + quoted(out.string()) + " 2>" +
                                quoted(err.string());
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFile(out);
    const Bytes e = readFile(err);
    r.err.assign(e.begin(), e.end());
    return r;
}

ArchivePlan mixedArchive() {
    ArchivePlan plan = smallArchive();
    plan.sign = true;
    for (int i = 0; i < 30; ++i)
        plan.files.push_back({.name = "n" + std::to_string(i) + ".fda",
                              .data = Bytes(static_cast<size_t>(i * 311), static_cast<uint8_t>(i)),
                              .compress = i % 2 == 0});
    return plan;
}

TEST(CommandLine, ExtractWritesWhatExtractAllWritesAndTheSameLog) {
    LoadedFixture f(mixedArchive());
    const std::string a = quoted(f.archive.string());
    const fs::path one = f.dir.path() / "one", two = f.dir.path() / "two";
    Result r1 = sga(f.dir, "extract " + a + " -o " + quoted(one.string()) + " --log " +
                               quoted((f.dir.path() / "one.log").string()));
    ASSERT_EQ(r1.status, 0) << r1.err;
    Result r2 = sga(f.dir, "extract " + a + " -o " + quoted(two.string()) + " --jobs 2 --log " +
                               quoted((f.dir.path() / "two.log").string()));
    ASSERT_EQ(r2.status, 0) << r2.err;
    EXPECT_EQ(treeOf(one), treeOf(two));
    for (const auto& p : treeOf(one))
        if (p.back() != '/') {
            EXPECT_EQ(readFile(one / p), readFile(two / p)) << p;
        }

    // The log is the load's trace followed by Extract all's lines.
    MemoryLog expected;
    ArchiveIndex index;
    ArchiveTree tree;
    ReportSink host;
    ASSERT_TRUE(openArchive(f.archive, index, tree, expected, host).ok());
    fs::remove_all(one);
    const ArchiveModel model = modelFromIndex(index, std::filesystem::file_size(f.archive));
    extractAll(ExtractContext{model, f.archive, one, expected, host});
    EXPECT_EQ(readLines(f.dir.path() / "one.log"), expected.lines);
    std::vector<std::string> twoLines = readLines(f.dir.path() / "two.log");
    for (auto& l : twoLines)
        if (l.find(two.string()) != std::string::npos) l.replace(l.find(two.string()), two.string().size(), one.string());
    EXPECT_EQ(twoLines, expected.lines);
    EXPECT_EQ(readFile(one / "data.big/art/fx/n2.aifr"), Bytes(622, 2));
}

TEST(CommandLine, ExtractFailureExitsOneWithASummary) {
    ArchivePlan plan;
    plan.files = {{.name = "bad", .data = textBytes("x"), .flag = 1, .stored = textBytes("junk")},
                  {.name = "good", .data = textBytes("y")}};
    LoadedFixture f(plan);
    Result r = sga(f.dir, "extract " + quoted(f.archive.string()) + " -o " + quoted(f.out().string()));
    EXPECT_EQ(r.status, 1);
    // The entry's reason first, then the summary.
    EXPECT_EQ(r.err, "bad: the stored bytes are not a valid zlib stream (or its checksum is wrong)\n"
                     "sga: 1 of 2 entries could not be extracted\n");
    EXPECT_EQ(readFile(f.out() / "data.big/good"), textBytes("y"));
    EXPECT_EQ(sga(f.dir, "extract").status, 2);
    EXPECT_EQ(sga(f.dir, "extract " + quoted(f.archive.string()) + " --jobs 0").status, 2);
}

TEST(CommandLine, CatWritesOneEntry) {
    LoadedFixture f(mixedArchive());
    const std::string a = quoted(f.archive.string());
    Result r = sga(f.dir, "cat " + a + " 'art\\fx\\spark.tga'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, Bytes(300, 7));
    r = sga(f.dir, "cat " + a + " art/a.lua");
    EXPECT_EQ(r.out, textBytes("print('hello')\n"));
    r = sga(f.dir, "cat " + a + " art/missing.lua");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sga: art/missing.lua: no such file in the archive\n");
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(sga(f.dir, "cat " + a).status, 2);
}

TEST(CommandLine, VerifyPassesAndFails) {
    const ArchivePlan plan = mixedArchive();
    LoadedFixture f(plan);
    Result r = sga(f.dir, "verify " + quoted(f.archive.string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::string(r.out.begin(), r.out.end()), "33 entries checked, 0 failed, header signatures match\n");

    Bytes bytes = buildArchive(plan);
    bytes.back() ^= 0xFF;
    const auto damaged = f.dir.write("damaged.big", bytes);
    r = sga(f.dir, "verify " + quoted(damaged.string()));
    EXPECT_EQ(r.status, 1);
    const std::string out(r.out.begin(), r.out.end());
    EXPECT_NE(out.find("header: headerBlock "), std::string::npos);
    EXPECT_NE(out.find("art\\fx\\n29.fda: "), std::string::npos);
    EXPECT_NE(out.find("33 entries checked, 1 failed, header signatures do not match\n"), std::string::npos);

    const auto real = realArchivesDir();
    if (real.empty()) GTEST_SKIP() << "real archives folder absent";
    r = sga(f.dir, "verify " + quoted((real / "hw2-mod-options.big").string()));
    EXPECT_EQ(r.status, 0) << std::string(r.out.begin(), r.out.end());
    r = sga(f.dir, "verify " + quoted((real / "v10-community-hello.sga").string()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(std::string(r.out.begin(), r.out.end()), "1 entry checked, 0 failed\n");
}

} // namespace
} // namespace sga
