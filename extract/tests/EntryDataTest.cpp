#include "core/FileReader.h"
#include "extract/EntryData.h"
#include "extract/tests/ExtractFixture.h"

#include <climits>
#include <gtest/gtest.h>
#include <random>

namespace sga {
namespace {

using namespace sga::testing;

Bytes randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& v : b) v = static_cast<uint8_t>(gen());
    return b;
}

// Reads file entry number h (1-based among the files) of a loaded fixture.
struct Reader {
    const LoadedFixture& f;
    FileReader file;
    MemoryLog log;
    std::vector<uint8_t> buffer;

    explicit Reader(const LoadedFixture& fixture) : f(fixture) { EXPECT_TRUE(file.open(f.archive)); }
    const FileEntry& entry(int h) const {
        return f.index.entries[static_cast<size_t>(f.index.dirCount() + h - 1)];
    }
    int16_t read(int h) {
        EXPECT_TRUE(file.seek(entry(h).filePos));
        return readEntryData(entry(h), file, log, buffer);
    }
};

TEST(EntryData, StoredEntryIsReturnedAsIsWithBothLogLines) {
    ArchivePlan plan;
    plan.files = {{.name = "readme.txt", .data = textBytes("plain text")}};
    LoadedFixture f(plan);
    Reader r(f);
    ASSERT_EQ(r.read(1), 0);
    EXPECT_EQ(r.buffer, textBytes("plain text"));
    const FileEntry& e = r.entry(1);
    EXPECT_EQ(r.log.lines,
              (std::vector<std::string>{"decompressing 9: readme.txt at pos: " + std::to_string(e.filePos + 257),
                                        padLineOf(textBytes("plain text"))}));
}

TEST(EntryData, TheProgramWideBufferIsTheDefault) {
    ArchivePlan plan;
    plan.files = {{.name = "a.lua", .data = textBytes("x = 1"), .compress = true}};
    LoadedFixture f(plan);
    FileReader file;
    ASSERT_TRUE(file.open(f.archive));
    const FileEntry& e = f.index.entries[0];
    ASSERT_TRUE(file.seek(e.filePos));
    NullLog log;
    ASSERT_EQ(readEntryData(e, file, log), 0);
    EXPECT_EQ(entryBuffer, textBytes("x = 1"));
    // The file is left just behind the stored bytes.
    EXPECT_EQ(file.tell(), int64_t{e.filePos} + kDataBlockSize + e.compSize + 1);
}

TEST(EntryData, AnyNonzeroFlagMeansCompressed) {
    const Bytes data = textBytes(std::string(5000, 'a') + "tail");
    ArchivePlan plan;
    for (uint8_t flag : {1, 2, 16, 32, 255})
        plan.files.push_back({.name = "f" + std::to_string(flag), .data = data, .compress = true, .flag = flag});
    // Flag 0 over a zlib stream: the stream itself is the entry.
    plan.files.push_back({.name = "raw", .data = data, .stored = zlibCompress(data)});
    LoadedFixture f(plan);
    Reader r(f);
    for (int h = 1; h <= 5; ++h) {
        ASSERT_EQ(r.read(h), 0) << h;
        EXPECT_EQ(r.buffer, data) << h;
    }
    ASSERT_EQ(r.read(6), 0);
    EXPECT_EQ(r.buffer, zlibCompress(data));
}

TEST(EntryData, NameFieldWithoutNulIsLoggedWhole) {
    ArchivePlan plan;
    plan.files = {{.name = "n.txt", .data = textBytes("n"), .blockName = std::string(300, 'x')}};
    LoadedFixture f(plan);
    Reader r(f);
    ASSERT_EQ(r.read(1), 0);
    EXPECT_EQ(r.log.lines[0], "decompressing 0: " + std::string(256, 'x') + " at pos: " +
                                  std::to_string(r.entry(1).filePos + 257));
    EXPECT_EQ(trimAtNul(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(trimAtNul("abc"), "abc");
}

TEST(EntryData, PadLineCarriesEightNumbersEachFollowedByASpace) {
    ArchivePlan plan;
    plan.files = {{.name = "p", .data = textBytes("p"), .pad = Bytes{0, 1, 2, 3, 250, 251, 252, 255}},
                  {.name = "z", .data = textBytes("z"), .pad = Bytes(8, 0)}};
    LoadedFixture f(plan);
    Reader r(f);
    ASSERT_EQ(r.read(1), 0);
    EXPECT_EQ(r.log.lines[1], "pad: 0 1 2 3 250 251 252 255 ");
    ASSERT_EQ(r.read(2), 0);
    EXPECT_EQ(r.log.lines[3], "pad: 0 0 0 0 0 0 0 0 ");
}

TEST(EntryData, ZeroLengthEntriesAndTwoReadsInARow) {
    ArchivePlan plan;
    plan.files = {{.name = "long", .data = randomBytes(70000, 1), .compress = true},
                  {.name = "short", .data = textBytes("xy")},
                  {.name = "empty", .data = {}},
                  {.name = "emptyz", .data = {}, .compress = true}};
    LoadedFixture f(plan);
    Reader r(f);
    ASSERT_EQ(r.read(1), 0);
    EXPECT_EQ(r.buffer.size(), 70000u);
    ASSERT_EQ(r.read(2), 0);
    EXPECT_EQ(r.buffer, textBytes("xy"));
    EXPECT_EQ(r.entry(3).compSize, -1);
    ASSERT_EQ(r.read(3), 0);
    EXPECT_TRUE(r.buffer.empty());
    ASSERT_EQ(r.read(4), 0);   // a stream of an empty file
    EXPECT_TRUE(r.buffer.empty());
}

TEST(EntryData, InflateFailuresGiveNonzeroResults) {
    const Bytes data = textBytes(std::string(4000, 'q') + "end of data");
    Bytes stream = zlibCompress(data);
    Bytes badChecksum = stream;
    badChecksum.back() ^= 1;
    const Bytes truncated(stream.begin(), stream.begin() + static_cast<long>(stream.size() / 2));
    ArchivePlan plan;
    plan.files = {{.name = "garbage", .data = data, .flag = 1, .stored = randomBytes(64, 2)},
                  {.name = "too large", .data = data, .compress = true, .orgSize = int32_t(data.size() + 1)},
                  {.name = "too small", .data = data, .compress = true, .orgSize = int32_t(data.size() - 1)},
                  {.name = "truncated", .data = data, .flag = 1, .stored = truncated},
                  {.name = "checksum", .data = data, .flag = 1, .stored = badChecksum},
                  {.name = "negative", .data = data, .compress = true, .orgSize = -1},
                  {.name = "empty stream", .data = {}, .flag = 1, .stored = Bytes{}}};
    LoadedFixture f(plan);
    Reader r(f);
    EXPECT_EQ(r.read(1), kEntryBadData);
    EXPECT_EQ(r.read(2), kEntryShortOutput);
    EXPECT_EQ(r.read(3), kEntryTooLong);
    EXPECT_NE(r.read(4), 0);
    EXPECT_EQ(r.read(5), kEntryBadData);
    EXPECT_EQ(r.read(6), kEntryImpossibleSize);
    EXPECT_NE(r.read(7), 0);
    // Each failed read still wrote its two lines and nothing more.
    EXPECT_EQ(r.log.lines.size(), 14u);
}

TEST(EntryData, DecompressBufferRefusesUnreachableSizesBeforeAllocating) {
    const Bytes stream = zlibCompress(Bytes(1 << 20, 0), 9);
    std::vector<uint8_t> buffer = stream;
    ASSERT_EQ(DecompressBuffer(buffer, 1 << 20), 0);   // about 1000:1 is reachable
    EXPECT_EQ(buffer.size(), size_t{1} << 20);

    buffer = {0x78, 0x9c, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(DecompressBuffer(buffer, INT32_MAX), kEntryImpossibleSize);
    EXPECT_EQ(DecompressBuffer(buffer, INT32_MIN), kEntryImpossibleSize);
    EXPECT_EQ(maxInflatedSize(10), 10320);
    buffer.clear();
    EXPECT_EQ(DecompressBuffer(buffer, 1), kEntryImpossibleSize);
    EXPECT_FALSE(describeEntryResult(kEntryTruncated).empty());
}

TEST(EntryData, TruncatedArchiveFailsCleanlyAtEveryCut) {
    ArchivePlan plan;
    plan.files = {{.name = "a", .data = textBytes("first entry"), .compress = true},
                  {.name = "b", .data = randomBytes(3000, 3), .compress = true}};
    const Bytes whole = buildArchive(plan);
    LoadedFixture f(plan);
    const FileEntry& last = f.index.entries[1];
    const size_t end = whole.size();
    for (size_t cut = static_cast<size_t>(last.filePos); cut < end; cut += (cut < static_cast<size_t>(last.filePos) + 300 ? 1 : 97)) {
        TempDir dir;
        const auto path = dir.write("cut.big", Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        FileReader file;
        ASSERT_TRUE(file.open(path));
        ASSERT_TRUE(file.seek(last.filePos));
        MemoryLog log;
        std::vector<uint8_t> buffer;
        const int16_t result = readEntryData(last, file, log, buffer);
        EXPECT_NE(result, 0) << "cut at " << cut;
        EXPECT_LE(log.lines.size(), 2u);
        if (cut < static_cast<size_t>(last.filePos) + 256) {
            EXPECT_TRUE(log.lines.empty());
        }
    }
}

TEST(EntryData, StoredSizeBeyondTheFileIsRefusedWithoutAllocating) {
    ArchivePlan plan;
    plan.files = {{.name = "big", .data = textBytes("small")}};
    Bytes bytes = buildArchive(plan);
    const size_t compSizeAt = offsetsOf(plan).fileTable + 9;
    for (int32_t stored : {INT32_MAX, 1 << 30, -5}) {
        for (int i = 0; i < 4; ++i)
            bytes[compSizeAt + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(stored) >> (8 * i));
        TempDir dir;
        LoadedFixture f(plan);
        f.archive = dir.write("big.big", bytes);
        f.load();
        Reader r(f);
        const int16_t result = r.read(1);
        EXPECT_EQ(result, stored < 0 ? kEntryBadSize : kEntryTruncated);
        EXPECT_LT(r.buffer.capacity(), 4096u);
    }
}

} // namespace
} // namespace sga
