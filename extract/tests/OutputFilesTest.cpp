#include "extract/OutputFiles.h"
#include "tests/support/ArchiveWriter.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sga {
namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

TEST(OutputFiles, WriteReplacesTheWholeFileAndLeavesNoTemporary) {
    TempDir dir;
    const auto target = dir.write("x.bin", Bytes(5000, 1));
    const Bytes shorter(10, 2);
    EXPECT_EQ(writeWholeFile(target, shorter.data(), shorter.size()), "");
    EXPECT_EQ(readFile(target), shorter);
    EXPECT_EQ(writeWholeFile(target, nullptr, 0), "");
    EXPECT_TRUE(readFile(target).empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A write that fails half-way (here: the file size limit) keeps the earlier
// file whole and leaves no partial file behind.
TEST(OutputFiles, FailedWriteKeepsTheEarlierFile) {
    TempDir dir;
    const auto target = dir.write("x.bin", textBytes("earlier content"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const Bytes big(100000, 3);
        _exit(writeWholeFile(target, big.data(), big.size()).empty() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";
    EXPECT_EQ(readFile(target), textBytes("earlier content"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(OutputFiles, FoldersAndTheirFailures) {
    TempDir dir;
    EXPECT_EQ(createFolders(dir.path() / "a/b/c"), "");
    EXPECT_TRUE(fs::is_directory(dir.path() / "a/b/c"));
    dir.write("file", textBytes("x"));
    EXPECT_NE(createFolders(dir.path() / "file/sub"), "");
    EXPECT_NE(createFolders(dir.path() / "file"), "");
    EXPECT_NE(writeWholeFile(dir.path() / "a", nullptr, 0), "");   // a folder is in the way
    EXPECT_EQ(withSlashes("a\\b\\c"), "a/b/c");
}

} // namespace
} // namespace sga
