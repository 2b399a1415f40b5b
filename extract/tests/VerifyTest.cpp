#include "archive/ArchiveOpen.h"
#include "extract/Verify.h"
#include "extract/tests/ExtractFixture.h"

#include <gtest/gtest.h>

namespace sga {
namespace {

using namespace sga::testing;

ArchivePlan signedArchive() {
    ArchivePlan plan = smallArchive();
    plan.sign = true;
    return plan;
}

VerifyReport verifyBytes(const ArchivePlan& plan, const Bytes& bytes) {
    LoadedFixture f(plan);
    f.archive = f.dir.write("in/changed.big", bytes);
    f.load();
    NullLog log;
    return verifyArchive(f.model, f.archive, log);
}

TEST(Verify, SignedArchivePasses) {
    LoadedFixture f(signedArchive());
    MemoryLog log;
    const VerifyReport report = verifyArchive(f.model, f.archive, log);
    EXPECT_TRUE(report.ok()) << (report.problems.empty() ? "" : report.problems[0].message);
    EXPECT_TRUE(report.signaturesChecked);
    EXPECT_EQ(report.entriesChecked, 3);
    EXPECT_EQ(log.lines.size(), 6u);   // the two lines of every entry read
}

TEST(Verify, UnsignedVersion2HeaderFailsAndVersion1HasNoSignatures) {
    LoadedFixture unsignedV2(smallArchive());
    NullLog log;
    VerifyReport report = verifyArchive(unsignedV2.model, unsignedV2.archive, log);
    ASSERT_EQ(report.problems.size(), 2u);
    EXPECT_EQ(report.problems[0].entryNumber, 0);
    EXPECT_EQ(report.entriesFailed, 0);

    ArchivePlan v1 = smallArchive();
    v1.version = 1;
    LoadedFixture f(v1);
    report = verifyArchive(f.model, f.archive, log);
    EXPECT_TRUE(report.ok());
    EXPECT_FALSE(report.signaturesChecked);
}

TEST(Verify, ChangedDataBreaksCrcAndHeaderSignature) {
    const ArchivePlan plan = signedArchive();
    Bytes bytes = buildArchive(plan);
    bytes[bytes.size() - 1] ^= 0x01;   // last byte of spark.tga's stream: its Adler-32
    VerifyReport report = verifyBytes(plan, bytes);
    ASSERT_EQ(report.problems.size(), 2u);
    EXPECT_EQ(report.problems[0].message.rfind("headerBlock ", 0), 0u);
    EXPECT_EQ(report.problems[1].path, "art\\fx\\spark.tga");
    EXPECT_EQ(report.entriesFailed, 1);
}

TEST(Verify, WrongCrcOrSizeOfAStoredEntry) {
    ArchivePlan plan;
    plan.sign = true;
    plan.files = {{.name = "crc.txt", .data = textBytes("abc"), .pad = Bytes{1, 2, 3, 4, 5, 6, 7, 8}},
                  {.name = "size.txt", .data = textBytes("abc"), .orgSize = 4},
                  {.name = "ok.txt", .data = textBytes("fine")}};
    LoadedFixture f(plan);
    NullLog log;
    const VerifyReport report = verifyArchive(f.model, f.archive, log);
    ASSERT_EQ(report.problems.size(), 2u);
    EXPECT_EQ(report.problems[0].path, "crc.txt");
    EXPECT_NE(report.problems[0].message.find("CRC-32"), std::string::npos);
    EXPECT_EQ(report.problems[1].message, "holds 3 bytes, orgSize is 4");
}

TEST(Verify, ChangedTableOfContentsBreaksExtraBlock) {
    const ArchivePlan plan = signedArchive();
    Bytes bytes = buildArchive(plan);
    bytes[offsetsOf(plan).fileTable] ^= 0x40;   // toc field of the first file record: never read
    const VerifyReport report = verifyBytes(plan, bytes);
    ASSERT_EQ(report.problems.size(), 2u);
    EXPECT_EQ(report.problems[0].message.rfind("headerBlock ", 0), 0u);
    EXPECT_EQ(report.problems[1].message.rfind("extraBlock ", 0), 0u);
}

TEST(Verify, RealHomeworldArchivePasses) {
    const auto real = realArchivesDir();
    if (real.empty()) GTEST_SKIP() << "real archives folder absent";
    ArchiveIndex index;
    ArchiveTree tree;
    NullLog log;
    ReportSink host;
    const auto path = real / "hw2-mod-options.big";
    ASSERT_TRUE(openArchive(path, index, tree, log, host).ok());
    const VerifyReport report =
        verifyArchive(modelFromIndex(index, std::filesystem::file_size(path)), path, log);
    EXPECT_TRUE(report.ok()) << report.problems.size() << " problems";
    EXPECT_TRUE(report.signaturesChecked);
    EXPECT_EQ(report.entriesChecked, 890);
}

} // namespace
} // namespace sga
