// Entries above the in-memory limit go through extract, verify and the
// chunked read: with the limit lowered, every result, byte and log line must
// be what the same entry gives when it is held whole, intact or damaged.
#include "core/FileReader.h"
#include "extract/EntryData.h"
#include "extract/EntryReader.h"
#include "extract/Verify.h"
#include "extract/tests/ExtractFixture.h"

#include <brotli/encode.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <zlib.h>

namespace sga {
namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

constexpr int64_t kSmallLimit = 1000;   // far below every entry: all of them stream
constexpr uint32_t kHashBlock = 5000;   // not a divisor of the read chunk

// Compressible but varied bytes, a few read chunks long.
Bytes sampleBytes(size_t size, uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(gen() % 23 + (i / 4096) % 7);
    return b;
}

Bytes brotliCompress(const Bytes& data) {
    size_t size = BrotliEncoderMaxCompressedSize(data.size());
    Bytes out(size);
    if (!BrotliEncoderCompress(5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, data.size(), data.data(), &size,
                               out.data()))
        throw std::runtime_error("BrotliEncoderCompress failed");
    out.resize(size);
    return out;
}

enum class Damage { None, Truncated, TooLong, TooShort, BadChecksum };

struct StreamCase {
    const char* name;
    Storage storage;
    Damage damage;
    CrcKind crcKind = CrcKind::OfBytes;
    BlockHash blockHash = BlockHash::None;
};

// One entry with a 264-byte block in front of its stored bytes (CRC-32 of
// the bytes in the block's last four), then its per-block MD5 or SHA-1
// table, as a reader of the later layouts would describe it.
struct HandArchive {
    TempDir dir;
    fs::path path;
    ArchiveModel model;
    Bytes data;

    explicit HandArchive(const StreamCase& c) {
        data = sampleBytes(size_t{2600} * 1024 + 17, 7);
        Bytes stored = c.storage == Storage::Stored         ? data
                       : c.storage == Storage::BrotliStream ? brotliCompress(data)
                                                            : zlibCompress(data);
        int64_t size = static_cast<int64_t>(data.size());
        switch (c.damage) {
        case Damage::None: break;
        case Damage::Truncated: stored.resize(stored.size() * 2 / 3); break;
        case Damage::TooLong: size -= 100; break;
        case Damage::TooShort: size += 100; break;
        // The Adler-32 of a zlib stream; Brotli carries none, so a byte of its stream.
        case Damage::BadChecksum:
            stored[c.storage == Storage::ZlibStream ? stored.size() - 1 : stored.size() / 2] ^= 0x5A;
            break;
        }
        Bytes file = textBytes("leading bytes");
        const uint32_t crc = static_cast<uint32_t>(
            c.crcKind == CrcKind::OfStoredBytes ? ::crc32(0, stored.data(), static_cast<uInt>(stored.size()))
                                                : ::crc32(0, data.data(), static_cast<uInt>(data.size())));
        ArchiveFile f;
        f.name = "big.bin";
        f.folder = "pack";
        f.folderIndex = 0;
        f.blockPos = static_cast<int64_t>(file.size());
        f.blockSize = 264;
        f.blockNameSize = 256;
        Bytes block(264, 0);
        std::copy(f.name.begin(), f.name.end(), block.begin());
        for (int i = 0; i < 4; ++i) block[260 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
        file.insert(file.end(), block.begin(), block.end());
        f.dataPos = static_cast<int64_t>(file.size());
        f.storedSize = static_cast<int64_t>(stored.size());
        f.size = size;
        f.storage = c.storage;
        f.crcKind = c.crcKind;
        file.insert(file.end(), stored.begin(), stored.end());
        if (c.blockHash != BlockHash::None) {
            f.blockHash = c.blockHash;
            f.hashPos = static_cast<int64_t>(file.size());
            for (size_t at = 0; at < stored.size(); at += kHashBlock) {
                uint8_t digest[EVP_MAX_MD_SIZE];
                unsigned length = 0;
                EVP_Digest(stored.data() + at, std::min<size_t>(kHashBlock, stored.size() - at), digest, &length,
                           c.blockHash == BlockHash::Md5 ? EVP_md5() : EVP_sha1(), nullptr);
                file.insert(file.end(), digest, digest + length);
            }
            model.hashBlockSize = kHashBlock;
        }
        path = dir.write("in/hand.sga", file);
        model.layout = Layout::V9;
        model.folders = {{.path = "pack"}};
        model.files = {f};
        model.fileSize = static_cast<int64_t>(file.size());
    }
};

// Restores the limit however a test ends.
struct LimitGuard {
    int64_t saved = inMemoryLimit();
    ~LimitGuard() { setInMemoryLimit(saved); }
};

struct RunResult {
    int16_t readResult = 0;
    Bytes readBytes;
    MemoryLog readLog;
    std::vector<std::string> problems;
    MemoryLog verifyLog;
    ExtractReport extract;
    MemoryLog extractLog;
    std::set<std::string> tree;
    std::optional<Bytes> extracted;
    Bytes earlier;   // what a file already in place holds afterwards
};

Bytes fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

RunResult runAll(const HandArchive& a, int64_t limit, int jobs) {
    LimitGuard guard;
    setInMemoryLimit(limit);
    RunResult r;
    FileReader reader;
    EXPECT_TRUE(reader.open(a.path));
    const ArchiveFile& f = a.model.files[0];
    EntryReader entries(reader, r.readLog);
    static_cast<void>(entries.stream(f, [&](const uint8_t* d, size_t n) {
        r.readBytes.insert(r.readBytes.end(), d, d + n);
        return true;
    }));
    r.readResult = entries.result();
    if (r.readResult != 0) r.readBytes.clear();   // what a caller keeps of a failed read

    for (const VerifyProblem& p : verifyArchive(a.model, a.path, r.verifyLog, {.jobs = jobs}).problems)
        r.problems.push_back(p.path + ": " + p.message);

    const fs::path out = a.dir.path() / ("out" + std::to_string(limit) + "-" + std::to_string(jobs));
    const fs::path target = out / "hand.sga" / "pack" / "big.bin";
    RecordingHost host;
    r.extract = extractAll(ExtractContext{a.model, a.path, out, r.extractLog, host}, {.jobs = jobs});
    r.tree = treeOf(out);
    if (fs::exists(target)) r.extracted = fileBytes(target);
    // Again over a good file already in place: success replaces it, failure leaves it.
    const Bytes good = textBytes("an earlier good file");
    a.dir.write(fs::relative(target, a.dir.path()).string(), good);
    MemoryLog again;
    extractAll(ExtractContext{a.model, a.path, out, again, host}, {.jobs = jobs});
    r.earlier = fileBytes(target);
    return r;
}

class Streaming : public ::testing::TestWithParam<StreamCase> {};

TEST_P(Streaming, ChunkedRunsMatchWholeRuns) {
    const StreamCase& c = GetParam();
    const HandArchive a(c);
    const RunResult whole = runAll(a, int64_t{64} << 20, 1);
    const bool intact = c.damage == Damage::None;
    // Stored bytes carry no stream: only a size that disagrees tells them apart.
    EXPECT_EQ(whole.problems.empty(), intact);
    // A stream that fails to decode writes nothing; stored bytes and a
    // Brotli stream with a changed byte decode, only the CRC-32 tells.
    if (c.storage != Storage::Stored && !(c.storage == Storage::BrotliStream && c.damage == Damage::BadChecksum)) {
        EXPECT_EQ(whole.readResult == 0, intact);
        EXPECT_EQ(whole.extract.failed == 0, intact);
        EXPECT_EQ(whole.extracted.has_value(), intact);
        EXPECT_EQ(whole.earlier, intact ? a.data : textBytes("an earlier good file"));
    }
    if (intact) {
        EXPECT_EQ(whole.readBytes, a.data);
    }

    for (int jobs : {1, 2}) {
        SCOPED_TRACE("chunked, jobs " + std::to_string(jobs));
        const RunResult chunked = runAll(a, kSmallLimit, jobs);
        EXPECT_EQ(chunked.readResult, whole.readResult);
        EXPECT_EQ(chunked.readBytes, whole.readBytes);
        EXPECT_EQ(chunked.readLog.lines, whole.readLog.lines);
        EXPECT_EQ(chunked.problems, whole.problems);
        EXPECT_EQ(chunked.verifyLog.lines, whole.verifyLog.lines);
        EXPECT_EQ(chunked.extract.failed, whole.extract.failed);
        EXPECT_EQ(chunked.extractLog.lines.size(), whole.extractLog.lines.size());
        for (size_t i = 0; i < std::min(chunked.extractLog.lines.size(), whole.extractLog.lines.size()); ++i) {
            // The extract location differs between the runs; every other character agrees.
            std::string mine = chunked.extractLog.lines[i], theirs = whole.extractLog.lines[i];
            for (std::string* s : {&mine, &theirs})
                for (const char* dir : {"out1000-1", "out1000-2", "out67108864-1"})
                    if (auto at = s->find(dir); at != std::string::npos) s->replace(at, std::strlen(dir), "OUT");
            EXPECT_EQ(mine, theirs);
        }
        EXPECT_EQ(chunked.tree, whole.tree);
        EXPECT_EQ(chunked.extracted, whole.extracted);
        EXPECT_EQ(chunked.earlier, whole.earlier);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Storages, Streaming,
    ::testing::Values(
        StreamCase{"StoredIntact", Storage::Stored, Damage::None, CrcKind::OfStoredBytes, BlockHash::Md5},
        StreamCase{"StoredTruncated", Storage::Stored, Damage::Truncated},
        StreamCase{"StoredWrongSize", Storage::Stored, Damage::TooShort},
        StreamCase{"StoredFlippedByte", Storage::Stored, Damage::BadChecksum, CrcKind::OfBytes, BlockHash::Sha1},
        StreamCase{"ZlibIntact", Storage::ZlibStream, Damage::None, CrcKind::OfEither, BlockHash::Sha1},
        StreamCase{"ZlibTruncated", Storage::ZlibStream, Damage::Truncated},
        StreamCase{"ZlibTooLong", Storage::ZlibBuffer, Damage::TooLong},
        StreamCase{"ZlibTooShort", Storage::ZlibStream, Damage::TooShort},
        StreamCase{"ZlibBadChecksum", Storage::ZlibStream, Damage::BadChecksum},
        StreamCase{"BrotliIntact", Storage::BrotliStream, Damage::None, CrcKind::OfStoredBytes, BlockHash::Md5},
        StreamCase{"BrotliTruncated", Storage::BrotliStream, Damage::Truncated},
        StreamCase{"BrotliTooLong", Storage::BrotliStream, Damage::TooLong},
        StreamCase{"BrotliTooShort", Storage::BrotliStream, Damage::TooShort},
        StreamCase{"BrotliFlippedByte", Storage::BrotliStream, Damage::BadChecksum}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

// A chunk callback that refuses stops the read at once with its own result.
TEST(StreamingStop, RefusingCallbackStops) {
    LimitGuard guard;
    setInMemoryLimit(kSmallLimit);
    const HandArchive a(StreamCase{"", Storage::ZlibStream, Damage::None});
    FileReader reader;
    ASSERT_TRUE(reader.open(a.path));
    NullLog log;
    int calls = 0;
    for (bool refuseStored : {true, false}) {
        calls = 0;
        auto refuse = [&](const uint8_t*, size_t) { return ++calls > 1 ? false : true; };
        auto accept = [](const uint8_t*, size_t) { return true; };
        EntryReader entries(reader, log);
        EXPECT_FALSE(refuseStored ? entries.stream(a.model.files[0], accept, refuse)
                                  : entries.stream(a.model.files[0], refuse));
        EXPECT_EQ(entries.result(), kEntryStopped);
        EXPECT_EQ(calls, 2);
    }
}

} // namespace
} // namespace sga
