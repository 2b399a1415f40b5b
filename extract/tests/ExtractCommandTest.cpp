// "sga extract" when things go wrong: it says why, stops at a full disk,
// and a signal leaves no partial file. The disk and the signal come from a
// preloaded write() (tests/support/FaultyWrite.cpp).
#include "extract/tests/ExtractFixture.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace sga {
namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs sga with args in folder, with the given environment words before it.
Result sga(const TempDir& dir, const std::string& args, const std::string& env = {},
           const fs::path& folder = {}) {
    const fs::path out = dir.path() / "stdout", err = dir.path() / "stderr";
    const std::string command = (folder.empty() ? "" : "cd " + quoted(folder.string()) + " && ") + env + " " +
                                quoted(SGA_BINARY) + " " + args + " >" + quoted(out.string()) + " 2>" +
                                quoted(err.string());
    const int raw = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const Bytes o = readFile(out), e = readFile(err);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// Files below root, none a temporary, each of the size given.
void expectOnlyWholeFiles(const fs::path& root, size_t size) {
    for (const auto& p : treeOf(root)) {
        if (p.back() == '/') continue;
        EXPECT_EQ(p.find(".sga-"), std::string::npos) << p;
        EXPECT_EQ(fs::file_size(root / p), size) << p;
    }
}

TEST(ExtractCommand, EachFailedEntrySaysWhyThenTheSummary) {
    const struct {
        int bad;
        size_t listed;
        const char* more;
    } cases[] = {{1, 1, nullptr}, {20, 20, nullptr}, {27, 20, "and 7 more; see --log"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bad);
        ArchivePlan plan;
        for (int i = 0; i < c.bad; ++i)
            plan.files.push_back({.name = "bad" + std::to_string(i), .data = textBytes("x"), .flag = 1,
                                  .stored = textBytes("junk")});
        plan.files.push_back({.name = "good", .data = textBytes("y")});
        LoadedFixture f(plan);
        const Result r = sga(f.dir, "extract --jobs 2 " + quoted(f.archive.string()) + " -o " + quoted(f.out().string()));
        EXPECT_EQ(r.status, 1);
        const auto lines = linesOf(r.err);
        ASSERT_EQ(lines.size(), c.listed + (c.more ? 2 : 1)) << r.err;
        for (size_t i = 0; i < c.listed; ++i)
            EXPECT_EQ(lines[i], "bad" + std::to_string(i) +
                                    ": the stored bytes are not a valid zlib stream (or its checksum is wrong)");
        if (c.more) EXPECT_EQ(lines[c.listed], c.more);
        EXPECT_EQ(lines.back(), "sga: " + std::to_string(c.bad) + " of " + std::to_string(c.bad + 1) +
                                    " entries could not be extracted");
    }
}

TEST(ExtractCommand, AFolderNameTakenByAFileSuggestsAnotherFolder) {
    LoadedFixture f(smallArchive());
    // Run where the archive lies: the folder would have the archive's own name.
    Result r = sga(f.dir, "extract data.big", {}, f.archive.parent_path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sga: cannot extract into " + f.archive.string() +
                         ": that is the archive itself; choose another folder with -o\n");
    EXPECT_EQ(readFile(f.archive), buildArchive(smallArchive()));
    f.dir.write("out/data.big", textBytes("a file"));
    r = sga(f.dir, "extract " + quoted(f.archive.string()) + " -o " + quoted(f.out().string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "sga: cannot extract into " + (f.out() / "data.big").string() +
                         ": a file of that name exists; choose another folder with -o\n");
}

ArchivePlan largeEntries() {
    ArchivePlan plan;
    for (int i = 0; i < 5; ++i)
        plan.files.push_back({.name = "big" + std::to_string(i) + ".bin",
                              .data = Bytes(size_t{3} << 20, static_cast<uint8_t>(i + 1)), .compress = i % 2 == 0});
    return plan;
}

TEST(ExtractCommand, ASignalRemovesTheEntryBeingWrittenAndEndsWith128PlusItsNumber) {
    LoadedFixture f(largeEntries());
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (const long long after : {1LL, 5LL << 20, 9LL << 20}) {
            for (const int jobs : {1, 3}) {
                SCOPED_TRACE(std::to_string(signal) + " after " + std::to_string(after) + " jobs " + std::to_string(jobs));
                fs::remove_all(f.out());
                const std::string env = "LD_PRELOAD=" + quoted(SGA_FAULTY_WRITE) + " SGA_FAULT_SIGNAL_AFTER=" +
                                        std::to_string(after) + ":" + std::to_string(signal);
                const Result r = sga(f.dir, "extract --jobs " + std::to_string(jobs) + " " +
                                                quoted(f.archive.string()) + " -o " + quoted(f.out().string()),
                                     env);
                EXPECT_EQ(r.status, 128 + signal) << r.err;
                EXPECT_NE(r.err.find("sga: interrupted; "), std::string::npos) << r.err;
                EXPECT_NE(r.err.find(" of 5 entries written"), std::string::npos) << r.err;
                expectOnlyWholeFiles(f.out(), size_t{3} << 20);
                EXPECT_LT(treeOf(f.out() / "data.big").size(), 5u);
            }
        }
    }
}

TEST(ExtractCommand, AFullDiskStopsTheRunWithThatMessage) {
    LoadedFixture f(largeEntries());
    for (const long long room : {0LL, 1LL << 20, 7LL << 20}) {
        for (const int jobs : {1, 3}) {
            SCOPED_TRACE(std::to_string(room) + " bytes free, jobs " + std::to_string(jobs));
            fs::remove_all(f.out());
            const fs::path log = f.dir.path() / "run.log";
            const Result r = sga(f.dir,
                                 "extract --jobs " + std::to_string(jobs) + " " + quoted(f.archive.string()) +
                                     " -o " + quoted(f.out().string()) + " --log " + quoted(log.string()),
                                 "LD_PRELOAD=" + quoted(SGA_FAULTY_WRITE) + " SGA_FAULT_NOSPACE_AFTER=" +
                                     std::to_string(room));
            EXPECT_EQ(r.status, 1);
            const auto lines = linesOf(r.err);
            ASSERT_FALSE(lines.empty());
            EXPECT_NE(lines.back().find("sga: No space left on device: extraction stopped after "), std::string::npos)
                << r.err;
            EXPECT_NE(lines.front().find(": No space left on device"), std::string::npos) << r.err;
            expectOnlyWholeFiles(f.out(), size_t{3} << 20);
            // The run stops at the entry that found the disk full (with
            // several jobs, parallel writes share the room).
            const auto logged = readLines(log);
            const long long tried =
                std::count_if(logged.begin(), logged.end(), [](const std::string& l) { return l.rfind("Extracting: ", 0) == 0; });
            if (jobs == 1) {
                EXPECT_EQ(tried, room / (3LL << 20) + 1);
            } else {
                EXPECT_GE(tried, 1);
                EXPECT_LE(tried, room / (3LL << 20) + 1);
            }
        }
    }
}

TEST(ExtractCommand, NamesReachTheTerminalEscaped) {
    ArchivePlan plan;
    plan.files = {{.name = "\x1b[31mred.txt", .data = textBytes("raw \x1b bytes")},
                  {.name = "\x1b]0;title\x07.lua", .data = textBytes("x")}};
    LoadedFixture f(plan);
    const std::string a = quoted(f.archive.string());
    Result r = sga(f.dir, "list " + a);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\\x1b[31mred.txt\n\\x1b]0;title\\x07.lua\n");
    r = sga(f.dir, "list --long " + a);
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    r = sga(f.dir, "cat " + a + " " + quoted("\x1b[31mred.txt"));
    EXPECT_EQ(r.out, "raw \x1b bytes");   // cat's bytes stay raw
    r = sga(f.dir, "cat " + a + " " + quoted("\x1b[32mnone"));
    EXPECT_EQ(r.err, "sga: \\x1b[32mnone: no such file in the archive\n");
    r = sga(f.dir, "verify " + a);
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    r = sga(f.dir, "info " + a);
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

} // namespace
} // namespace sga
