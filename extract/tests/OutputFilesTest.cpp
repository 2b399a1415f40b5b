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
    EXPECT_TRUE(writeWholeFile(target, shorter.data(), shorter.size()).ok());
    EXPECT_EQ(readFile(target), shorter);
    EXPECT_TRUE(writeWholeFile(target, nullptr, 0).ok());
    EXPECT_TRUE(readFile(target).empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A write that fails half-way (here: the file size limit) keeps an earlier
// file whole, and leaves no partial file behind whether or not there was one.
TEST(OutputFiles, FailedWriteKeepsTheEarlierFile) {
    for (bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "over an earlier file" : "a new file");
        TempDir dir;
        const auto target = dir.path() / "x.bin";
        if (earlier) dir.write("x.bin", textBytes("earlier content"));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const Bytes big(100000, 3);
            _exit(writeWholeFile(target, big.data(), big.size()).ok() ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";
        EXPECT_EQ(fs::exists(target), earlier);
        if (earlier) {
            EXPECT_EQ(readFile(target), textBytes("earlier content"));
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), earlier ? 1 : 0);
    }
}

// Pieces written and abandoned, or the object dropped unfinished, leave
// nothing; committed, they are the file.
TEST(OutputFiles, PiecesAreTheFileOnlyOnceCommitted) {
    for (bool earlier : {true, false}) {
        for (int ending = 0; ending < 3; ++ending) {   // commit, abandon, dropped
            SCOPED_TRACE(std::to_string(earlier) + " " + std::to_string(ending));
            TempDir dir;
            const auto target = dir.path() / "x.bin";
            if (earlier) dir.write("x.bin", textBytes("earlier"));
            {
                OutputFile out;
                ASSERT_TRUE(out.open(target).ok());
                const Bytes piece(3000, 9);
                for (int i = 0; i < 3; ++i) ASSERT_TRUE(out.write(piece.data(), piece.size()).ok());
                if (ending == 0) {
                    EXPECT_TRUE(out.commit().ok());
                } else if (ending == 1) {
                    out.abandon();
                }
            }
            if (ending == 0) {
                EXPECT_EQ(readFile(target), Bytes(9000, 9));
            } else if (earlier) {
                EXPECT_EQ(readFile(target), textBytes("earlier"));
            } else {
                EXPECT_FALSE(fs::exists(target));
            }
            EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()),
                      ending == 0 || earlier ? 1 : 0);
        }
    }
}

TEST(OutputFiles, FoldersAndTheirFailures) {
    TempDir dir;
    EXPECT_TRUE(createFolders(dir.path() / "a/b/c").ok());
    EXPECT_TRUE(fs::is_directory(dir.path() / "a/b/c"));
    dir.write("file", textBytes("x"));
    EXPECT_FALSE(createFolders(dir.path() / "file/sub").ok());
    EXPECT_FALSE(createFolders(dir.path() / "file").ok());
    EXPECT_FALSE(writeWholeFile(dir.path() / "a", nullptr, 0).ok());   // a folder is in the way
    EXPECT_EQ(withSlashes("a\\b\\c"), "a/b/c");
}

} // namespace
} // namespace sga
