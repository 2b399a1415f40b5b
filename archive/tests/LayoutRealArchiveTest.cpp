// The readers on archives made by real packers (skipped when the folder of
// real archives is absent): version 2 with 20-byte records in its three
// block kinds, a malformed one, and two version 10 archives from community
// tools, one of them with wrong drive ranges.

#include "archive/tests/LayoutTesting.h"

#include <gtest/gtest.h>

namespace sga::testing {
namespace {

using sga::Layout;

struct RealCase {
    std::string file;
    Layout layout;
    std::vector<std::string> aliases;
    size_t files;
    int32_t blockSize;      // of every file
    std::string somePath;   // a file the model must list
};

const RealCase kRealCases[] = {
    {"v2-wide-records-small.sga", Layout::V2Wide, {"data"}, 4, 264, "samples\\sample strings\\auto.txt"},
    {"v2-wide-records-images.sga", Layout::V2Wide, {"data", "attrib"}, 14, 264,
     "attrib\\myattrib\\more ipsum.txt"},
    {"v2-wide-records-268-block.sga", Layout::V2Wide, {"data", "attrib"}, 14, 268,
     "data\\samples\\sample images\\smiley.png"},
    {"v2-wide-records-no-block.sga", Layout::V2Wide, {"test"}, 3, 0, "Samples\\String Samples\\STORE.txt"},
    {"v10-community-hello.sga", Layout::V10, {"data"}, 1, 0, "hello.txt"},
    {"v10-community-scar.sga", Layout::V10, {"data"}, 1, 0, "scar\\somescript.scar"},
};

void PrintTo(const RealCase& c, std::ostream* os) { *os << c.file; }

class LayoutRealArchiveTest : public ::testing::TestWithParam<RealCase> {};

Bytes realArchive(const std::string& name) {
    const auto dir = realArchivesDir();
    return dir.empty() ? Bytes{} : readFile(dir / name);
}

TEST_P(LayoutRealArchiveTest, ReadsDrivesFilesAndBlocks) {
    const RealCase& c = GetParam();
    const Bytes bytes = realArchive(c.file);
    if (bytes.empty()) GTEST_SKIP() << "real archives are not here";
    LayoutFiles files;
    const auto r = files.read(bytes);
    ASSERT_TRUE(r.layout.ok()) << r.layout.message();
    EXPECT_EQ(*r.layout, c.layout);
    ASSERT_TRUE(r.model.ok()) << r.model.message();
    const ArchiveModel& m = *r.model;
    std::vector<std::string> aliases;
    for (const auto& d : m.drives) aliases.push_back(d.alias);
    EXPECT_EQ(aliases, c.aliases);
    ASSERT_EQ(m.files.size(), c.files);
    bool found = false;
    for (const ArchiveFile& f : m.files) {
        SCOPED_TRACE(f.path());
        found = found || f.path() == c.somePath;
        EXPECT_GE(f.dataPos, m.dataOffset);
        EXPECT_LE(f.dataPos + f.storedSize, m.fileSize);
        EXPECT_EQ(f.blockSize, c.blockSize);
        if (f.storage == Storage::Stored) {
            EXPECT_EQ(f.storedSize, f.size);
        } else {
            EXPECT_TRUE(f.storage == Storage::ZlibStream || f.storage == Storage::ZlibBuffer);
        }
        if (c.blockSize) {
            // The name in the block is the file's own.
            const auto name = std::string(bytes.begin() + f.blockPos, bytes.begin() + f.blockPos + static_cast<std::ptrdiff_t>(f.name.size()));
            EXPECT_EQ(name, f.name);
        }
    }
    EXPECT_TRUE(found) << c.somePath;
}

TEST(LayoutRealArchive, VersionTenFilesHaveNothingToVerify) {
    for (const char* name : {"v10-community-hello.sga", "v10-community-scar.sga"}) {
        const Bytes bytes = realArchive(name);
        if (bytes.empty()) GTEST_SKIP() << "real archives are not here";
        LayoutFiles files;
        const auto r = files.read(bytes);
        ASSERT_TRUE(r.model.ok()) << r.model.message();
        EXPECT_EQ(r.model->files.at(0).crcKind, CrcKind::None) << name;
        EXPECT_EQ(r.model->files.at(0).storage, Storage::Stored) << name;
        EXPECT_EQ(r.model->encoding, TextEncoding::Utf8);
    }
}

TEST(LayoutRealArchive, MalformedGivesAnErrorOrAModelThatKeepsEveryFile) {
    const Bytes bytes = realArchive("v2-wide-records-malformed.sga");
    if (bytes.empty()) GTEST_SKIP() << "real archives are not here";
    LayoutFiles files;
    const auto r = files.read(bytes);
    ASSERT_TRUE(r.layout.ok()) << r.layout.message();
    if (!r.model.ok()) {
        EXPECT_FALSE(r.model.message().empty());
        return;
    }
    // No drive claims its files: they stay listed at the top level.
    EXPECT_EQ(r.model->files.size(), 3u);
    for (const ArchiveFile& f : r.model->files) {
        EXPECT_EQ(f.folderIndex, -1);
        EXPECT_EQ(f.blockPos, -1);
    }
    EXPECT_GT(r.model->files.back().dataPos + r.model->files.back().storedSize, r.model->fileSize);
}

TEST(LayoutRealArchive, SeventeenByteRecordsStayWithTheirOwnReader) {
    const Bytes bytes = realArchive("hw2-mod-options.big");
    if (bytes.empty()) GTEST_SKIP() << "real archives are not here";
    LayoutFiles files;
    const auto r = files.read(bytes);
    ASSERT_TRUE(r.layout.ok()) << r.layout.message();
    EXPECT_EQ(*r.layout, Layout::V2Narrow);
}

INSTANTIATE_TEST_SUITE_P(Real, LayoutRealArchiveTest, ::testing::ValuesIn(kRealCases), [](const auto& info) {
    std::string name = info.param.file.substr(0, info.param.file.find('.'));
    for (char& ch : name)
        if (ch == '-') ch = '_';
    return name;
});

} // namespace
} // namespace sga::testing
