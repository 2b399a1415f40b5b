// What each layout says about checking a file's bytes: the block before the
// data (version 2's three kinds, versions 4 and 5), the record's CRC and the
// per-block hashes from version 7, and the version 2 header signatures.

#include "archive/TocTables.h"
#include "archive/tests/LayoutTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace sga::testing {
namespace {

using sga::Layout;

ArchiveModel readModel(const Bytes& bytes) {
    LayoutFiles files;
    auto r = files.read(bytes);
    EXPECT_TRUE(r.model.ok()) << r.model.message();
    return r.model.ok() ? *r.model : ArchiveModel{};
}

TEST(LayoutChecks, VersionTwoBlockKindIsFoundPerArchive) {
    struct Case { V2Block block; int32_t size; int32_t nameSize; };
    for (const Case& c : {Case{V2Block::Name256, 264, 256}, Case{V2Block::Name260, 268, 260}, Case{V2Block::None, 0, 0}}) {
        LayoutPlan plan = samplePlan(Layout::V2Wide);
        plan.v2Block = c.block;
        const ArchiveModel m = readModel(buildLayout(plan));
        ASSERT_FALSE(m.files.empty());
        for (const ArchiveFile& f : m.files) {
            SCOPED_TRACE(f.path() + " block " + std::to_string(c.size));
            EXPECT_EQ(f.blockSize, c.size);
            EXPECT_EQ(f.blockNameSize, c.nameSize);
            EXPECT_EQ(f.blockPos, c.size ? f.dataPos - c.size : -1);
            EXPECT_EQ(f.crcKind, c.size ? CrcKind::OfBytes : CrcKind::None);
            EXPECT_EQ(f.hasMtime, c.size != 0);
        }
    }
}

TEST(LayoutChecks, VersionTwoBlockCarriesMtimeAndCrcOfTheBytes) {
    LayoutPlan plan = samplePlan(Layout::V2Wide);
    const ArchiveModel m = readModel(buildLayout(plan));
    const ArchiveFile& spark = m.files.at(3);
    ASSERT_EQ(spark.name, "spark one.txt");
    EXPECT_EQ(spark.crc, crc32Of(Bytes(500, 's')));
    EXPECT_EQ(m.files.at(0).mtime, 1700000000u);
}

TEST(LayoutChecks, VersionTwoHeaderSignaturesAreKept) {
    const Bytes b = buildLayout(samplePlan(Layout::V2Wide));
    const ArchiveModel m = readModel(b);
    EXPECT_TRUE(m.hasHeaderSignatures);
    EXPECT_EQ(m.signedFrom, 180);
    EXPECT_TRUE(std::equal(m.dataSignature.begin(), m.dataSignature.end(), b.begin() + 12));
    EXPECT_TRUE(std::equal(m.tocSignature.begin(), m.tocSignature.end(), b.begin() + 156));
    EXPECT_NE(m.dataSignature, (std::array<uint8_t, 16>{}));
}

TEST(LayoutChecks, VersionsFourAndFiveCarryTheBlockCrc) {
    for (Layout l : {Layout::V4, Layout::V5A, Layout::V5B}) {
        const ArchiveModel m = readModel(buildLayout(samplePlan(l)));
        for (const ArchiveFile& f : m.files) {
            SCOPED_TRACE(layoutLabel(l) + " " + f.path());
            EXPECT_EQ(f.blockPos, f.dataPos - 260);
            EXPECT_EQ(f.blockSize, 260);
            EXPECT_EQ(f.crcKind, CrcKind::OfEither);
        }
        EXPECT_EQ(m.files.at(3).crc, crc32Of(Bytes(500, 's')));
    }
}

TEST(LayoutChecks, RecordCrcAndBlockHashesFollowTheVerificationByte) {
    struct Case { uint8_t verification; CrcKind crc; BlockHash hash; size_t hashBytes; };
    const Case cases[] = {{0, CrcKind::None, BlockHash::None, 0},
                          {1, CrcKind::OfStoredBytes, BlockHash::None, 0},
                          {2, CrcKind::None, BlockHash::Crc32, 4},
                          {3, CrcKind::None, BlockHash::Md5, 16},
                          {4, CrcKind::None, BlockHash::Sha1, 20}};
    for (Layout l : {Layout::V6, Layout::V7, Layout::V8, Layout::V9, Layout::V10}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(layoutLabel(l) + " verification " + std::to_string(c.verification));
            LayoutPlan plan = samplePlan(l);
            plan.hashBlockSize = 128;
            FilePlan& spark = plan.drives[0].root.folders[0].folders[0].files[0];
            spark.verification = c.verification;
            const Bytes b = buildLayout(plan);
            const ArchiveModel m = readModel(b);
            const ArchiveFile& f = m.files.at(3);
            const bool hashes = l != Layout::V6 && c.hash != BlockHash::None;
            EXPECT_EQ(f.blockHash, hashes ? c.hash : BlockHash::None);
            EXPECT_EQ(f.crcKind, c.crc);
            if (c.crc != CrcKind::None) {
                EXPECT_EQ(f.crc, crc32Of(Bytes(b.begin() + f.dataPos, b.begin() + f.dataPos + f.storedSize)));
            }
            if (!hashes) continue;
            EXPECT_EQ(m.hashBlockSize, 128u);
            // The first block's hash sits at hashPos; the writer puts this file's table first.
            const auto stored = Bytes(b.begin() + f.dataPos, b.begin() + f.dataPos + std::min<int64_t>(128, f.storedSize));
            ASSERT_LE(f.hashPos + static_cast<int64_t>(c.hashBytes), static_cast<int64_t>(b.size()));
            if (c.hash == BlockHash::Crc32) {
                EXPECT_EQ(le32(b.data() + f.hashPos), crc32Of(stored));
            }
        }
    }
}

TEST(LayoutChecks, HashBlockSizeZeroMeansThirtyTwoKibibytes) {
    for (Layout l : {Layout::V7, Layout::V8, Layout::V9, Layout::V10}) {
        LayoutPlan plan = samplePlan(l);
        plan.hashBlockSize = 0;
        EXPECT_EQ(readModel(buildLayout(plan)).hashBlockSize, 32768u) << layoutLabel(l);
    }
}

TEST(LayoutChecks, SignatureFromVersionEightIsKept) {
    for (Layout l : {Layout::V8, Layout::V9, Layout::V10}) {
        LayoutPlan plan = samplePlan(l);
        plan.signatureFill = 0xA5;
        const ArchiveModel m = readModel(buildLayout(plan));
        EXPECT_EQ(m.signature, std::vector<uint8_t>(256, 0xA5)) << layoutLabel(l);
    }
}

TEST(LayoutChecks, SixtyFourBitDataOffsetsReachPastFourGibibytes) {
    for (Layout l : {Layout::V9, Layout::V10}) {
        LayoutPlan plan = samplePlan(l);
        plan.drives[0].root.files[0].dataOffset = uint64_t{5} << 30;
        const ArchiveModel m = readModel(buildLayout(plan));
        EXPECT_EQ(m.files.at(0).dataPos, m.dataOffset + (int64_t{5} << 30)) << layoutLabel(l);
    }
}

// A sparse archive of more than 4 GiB: header and ToC from the writer, the
// first file's stored bytes 5 GiB into the data area, a hole before them.
TEST(LayoutChecks, FilesPastFourGibibytesAreFoundThroughTheReader) {
    for (Layout l : {Layout::V9, Layout::V10}) {
        SCOPED_TRACE(layoutLabel(l));
        LayoutPlan plan = samplePlan(l);
        plan.drives[0].root.files[0].dataOffset = (uint64_t{5} << 30);
        const LayoutBytes parts = buildLayoutParts(plan);
        const int fd = ::memfd_create("large-archive", MFD_CLOEXEC);
        ASSERT_GE(fd, 0);
        const Bytes& stored = parts.stored[0];
        const int64_t end = parts.dataPos[0] + static_cast<int64_t>(stored.size());
        const bool written =
            ::pwrite(fd, parts.head.data(), parts.head.size(), 0) == static_cast<ssize_t>(parts.head.size()) &&
            ::pwrite(fd, parts.data.data(), parts.data.size(), parts.dataOffset) == static_cast<ssize_t>(parts.data.size()) &&
            ::pwrite(fd, stored.data(), stored.size(), parts.dataPos[0]) == static_cast<ssize_t>(stored.size());
        if (!written) {
            ::close(fd);
            GTEST_SKIP() << "no sparse file of " << end << " bytes here";
        }
        FileReader file;
        ASSERT_TRUE(file.open("/proc/self/fd/" + std::to_string(fd)));
        NullLog log;
        const auto model = readLayout(file, l, log);
        ASSERT_TRUE(model.ok()) << model.message();
        const ArchiveFile& f = model->files.at(0);
        EXPECT_EQ(model->fileSize, end);
        EXPECT_EQ(f.dataPos, parts.dataPos[0]);
        Bytes back(stored.size());
        ASSERT_TRUE(file.seek(f.dataPos) && file.read(back.data(), back.size()));
        EXPECT_EQ(back, stored);
        ::close(fd);
    }
}

} // namespace
} // namespace sga::testing
