// The entry reader: a declared size never buys memory the stored bytes
// cannot fill, a head is the whole read's prefix, and the memory budget
// bounds what jobs hold together.
#include "core/FileReader.h"
#include "extract/EntryReader.h"
#include "extract/MemoryBudget.h"
#include "extract/tests/ExtractFixture.h"
#include "tests/support/LayoutWriter.h"

#include <gtest/gtest.h>
#include <atomic>
#include <memory>
#include <random>
#include <thread>

namespace sga {
namespace {

using namespace sga::testing;

Bytes variedBytes(size_t size, uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(gen() % 13 + (i / 3000) % 5);
    return b;
}

// One entry after a 264-byte block, as the later layouts keep it.
struct OneEntry {
    TempDir dir;
    std::filesystem::path path;
    ArchiveFile file;

    OneEntry(Storage storage, const Bytes& stored, int64_t size) {
        Bytes bytes = textBytes("lead");
        file.name = "pic.tga";
        file.blockPos = static_cast<int64_t>(bytes.size());
        file.blockSize = 264;
        file.blockNameSize = 256;
        Bytes block(264, 0);
        std::copy(file.name.begin(), file.name.end(), block.begin());
        bytes.insert(bytes.end(), block.begin(), block.end());
        file.dataPos = static_cast<int64_t>(bytes.size());
        file.storedSize = static_cast<int64_t>(stored.size());
        file.size = size;
        file.storage = storage;
        bytes.insert(bytes.end(), stored.begin(), stored.end());
        path = dir.write("one.sga", bytes);
    }
    // data stored as storage says.
    OneEntry(Storage storage, const Bytes& data)
        : OneEntry(storage,
                   storage == Storage::Stored         ? data
                   : storage == Storage::BrotliStream ? brotliCompress(data)
                                                      : zlibCompress(data),
                   static_cast<int64_t>(data.size())) {}
};

// ---------------------------------------------------------------- declared-size bombs

struct BombCase {
    const char* name;
    Storage storage;
    Bytes stored;
    int64_t declared;
    int64_t storedDeclared;   // -1: the true stored size
    EntryResult expected;
};

class DeclaredSizeBomb : public ::testing::TestWithParam<BombCase> {};

// Every road refuses cleanly, and no buffer grows anywhere near the claim.
TEST_P(DeclaredSizeBomb, FailsWithoutAllocatingTheClaim) {
    const BombCase& c = GetParam();
    OneEntry e(c.storage, c.stored, c.declared);
    if (c.storedDeclared >= 0) e.file.storedSize = c.storedDeclared;
    FileReader archive;
    ASSERT_TRUE(archive.open(e.path));
    MemoryLog log;
    EntryReader reader(archive, log);
    std::vector<uint8_t> out;
    takeLargestThreadBuffer();
    for (int road = 0; road < 4; ++road) {
        SCOPED_TRACE(road);
        Status status;
        switch (road) {
        case 0: status = reader.read(e.file).status(); break;
        case 1: status = reader.read(e.file, out); break;
        case 2: status = reader.stream(e.file, [](const uint8_t*, size_t) { return true; }); break;
        case 3: status = reader.readHead(e.file, size_t{1} << 40).status(); break;
        }
        EXPECT_FALSE(status.ok());
        EXPECT_EQ(reader.result(), c.expected) << status.message();
        EXPECT_EQ(status.message(), describeEntryFailure(e.file, c.expected));
        EXPECT_TRUE(out.empty());
        EXPECT_LT(out.capacity(), size_t{1} << 20);
        EXPECT_LT(takeLargestThreadBuffer(), int64_t{1} << 20);
    }
    EXPECT_EQ(MemoryBudget::shared().inUse(), 0);
}

const Bytes kTinyBrotli = brotliCompress(Bytes(100, 'x'));

INSTANTIATE_TEST_SUITE_P(
    Storages, DeclaredSizeBomb,
    ::testing::Values(
        BombCase{"Stored", Storage::Stored, Bytes(14, 1), 14, int64_t{4} << 30, kEntryTruncated},
        BombCase{"Zlib", Storage::ZlibStream, zlibCompress(Bytes(100, 'x')), UINT32_MAX, -1, kEntryImpossibleSize},
        BombCase{"ZlibWithinRatio", Storage::ZlibBuffer, zlibCompress(Bytes(100, 'x')), 10000, -1,
                 kEntryShortOutput},
        BombCase{"Brotli", Storage::BrotliStream, kTinyBrotli, UINT32_MAX, -1, kEntryShortOutput},
        BombCase{"BrotliNegative", Storage::BrotliBuffer, kTinyBrotli, -1, -1, kEntryImpossibleSize},
        BombCase{"Encrypted", Storage::Encrypted, Bytes(14, 1), UINT32_MAX, -1, kEntryEncrypted},
        BombCase{"Unknown", Storage::Unknown, Bytes(14, 1), UINT32_MAX, -1, kEntryUnknownStorage}),
    [](const ::testing::TestParamInfo<BombCase>& info) { return std::string(info.param.name); });

// A Brotli stream that really is larger than can be held is refused as such
// once it passes the limit, holding no more than the limit.
TEST(EntryReader, BrotliBeyondTheLimitIsTooLargeToHold) {
    const int64_t saved = inMemoryLimit();
    setInMemoryLimit(int64_t{1} << 20);
    OneEntry e(Storage::BrotliStream, Bytes(size_t{3} << 20, 'z'));
    FileReader archive;
    ASSERT_TRUE(archive.open(e.path));
    NullLog log;
    EntryReader reader(archive, log);
    takeLargestThreadBuffer();
    EXPECT_FALSE(reader.read(e.file).ok());
    EXPECT_EQ(reader.result(), kEntryTooLarge);
    EXPECT_LE(takeLargestThreadBuffer(), (int64_t{1} << 20) + 1);
    int64_t streamed = 0;
    EXPECT_TRUE(reader.stream(e.file, [&](const uint8_t*, size_t n) { return (streamed += n) > 0; }).ok());
    EXPECT_EQ(streamed, e.file.size);
    setInMemoryLimit(saved);
}

// ---------------------------------------------------------------- heads

struct HeadCase {
    const char* name;
    Storage storage;
};

class Head : public ::testing::TestWithParam<HeadCase> {};

TEST_P(Head, IsThePrefixOfTheWholeReadWithTheSameLog) {
    const Bytes data = variedBytes(700000, 3);
    OneEntry e(GetParam().storage, data);
    FileReader archive;
    ASSERT_TRUE(archive.open(e.path));
    MemoryLog wholeLog;
    EntryReader whole(archive, wholeLog);
    Expected<EntryBytes> all = whole.read(e.file);
    ASSERT_TRUE(all.ok()) << all.message();
    const Bytes wholeBytes(all->data(), all->data() + all->size());
    all = EntryBytes{};
    EXPECT_EQ(wholeBytes, data);
    for (size_t n : {size_t{0}, size_t{1}, size_t{65536}, data.size() - 1, data.size(), data.size() + 9}) {
        SCOPED_TRACE(n);
        MemoryLog log;
        EntryReader reader(archive, log);
        takeLargestThreadBuffer();
        const Expected<EntryBytes> head = reader.readHead(e.file, n);
        ASSERT_TRUE(head.ok()) << head.message();
        EXPECT_EQ(Bytes(head->data(), head->data() + head->size()),
                  Bytes(data.begin(), data.begin() + static_cast<long>(std::min(n, data.size()))));
        EXPECT_EQ(log.lines, wholeLog.lines);
        EXPECT_EQ(reader.block().present, true);
        // A short head reads and decodes little.
        if (n <= 65536) {
            EXPECT_LT(takeLargestThreadBuffer(), int64_t{600} << 10);
        }
    }
}

// Damage the head never reaches goes unnoticed; the bounds are checked all the same.
TEST_P(Head, ChecksBoundsButNotTheUnreadTail) {
    const Bytes data = variedBytes(300000, 4);
    OneEntry e(GetParam().storage, data);
    FileReader archive;
    ASSERT_TRUE(archive.open(e.path));
    NullLog log;
    EntryReader reader(archive, log);
    ArchiveFile truncated = e.file;
    truncated.storedSize += 1;
    EXPECT_FALSE(reader.readHead(truncated, 10).ok());
    EXPECT_EQ(reader.result(), kEntryTruncated);
    if (GetParam().storage == Storage::Stored) return;
    ArchiveFile wrongSize = e.file;
    wrongSize.size += 1;
    EXPECT_TRUE(reader.readHead(wrongSize, 10).ok());
    EXPECT_FALSE(reader.readHead(wrongSize, data.size() + 1).ok());
    EXPECT_EQ(reader.result(), kEntryShortOutput);
}

INSTANTIATE_TEST_SUITE_P(Storages, Head,
                         ::testing::Values(HeadCase{"Stored", Storage::Stored}, HeadCase{"Zlib", Storage::ZlibStream},
                                           HeadCase{"Brotli", Storage::BrotliStream}),
                         [](const ::testing::TestParamInfo<HeadCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the budget

TEST(MemoryBudget, ManyJobsNeverHoldMoreThanTheBudget) {
    const Bytes data = variedBytes(400000, 5);
    std::vector<std::unique_ptr<OneEntry>> entries;
    for (Storage s : {Storage::Stored, Storage::ZlibStream, Storage::BrotliStream})
        entries.push_back(std::make_unique<OneEntry>(s, data));
    // About two entries' worth: sixteen jobs must take turns.
    MemoryBudget budget(int64_t{2} * 2 * static_cast<int64_t>(data.size()));
    std::atomic<int> wrong{0};
    std::vector<std::thread> jobs;
    for (int j = 0; j < 16; ++j) {
        jobs.emplace_back([&, j] {
            for (int round = 0; round < 6; ++round) {
                const OneEntry& e = *entries[static_cast<size_t>(j + round) % entries.size()];
                FileReader archive;
                if (!archive.open(e.path)) ++wrong;
                NullLog log;
                EntryReader reader(archive, log, budget);
                const Expected<EntryBytes> bytes = reader.read(e.file);
                if (!bytes || Bytes(bytes->data(), bytes->data() + bytes->size()) != data) ++wrong;
            }
        });
    }
    for (std::thread& t : jobs) t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_LE(budget.peak(), budget.capacity());
    EXPECT_GT(budget.peak(), 0);
    EXPECT_EQ(budget.inUse(), 0);
}

TEST(MemoryBudget, OversizedRequestsRunAloneAndAThreadNeverWaitsForItself) {
    MemoryBudget budget(100);
    std::atomic<int> together{0}, most{0};
    std::vector<std::thread> jobs;
    for (int j = 0; j < 8; ++j) {
        jobs.emplace_back([&, j] {
            BudgetLease lease(budget, j % 2 ? 500 : 40);
            const int now = ++together;
            if (j % 2) most = std::max(most.load(), now);
            std::this_thread::yield();
            --together;
        });
    }
    for (std::thread& t : jobs) t.join();
    EXPECT_EQ(most, 1);
    EXPECT_EQ(budget.inUse(), 0);
    BudgetLease first(budget, 90);
    BudgetLease second(budget, 90);   // the same thread: would wait for itself
    EXPECT_EQ(budget.inUse(), 180);
}

} // namespace
} // namespace sga
