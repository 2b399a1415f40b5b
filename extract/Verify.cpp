#include "extract/Verify.h"

#include "core/FileReader.h"
#include "extract/OrderedPipeline.h"
#include "extract/EntryReader.h"
#include "core/ActivityLog.h"

#include <libdeflate.h>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <thread>
#include <openssl/evp.h>

namespace sga {
namespace {

constexpr std::string_view kHeaderKey = "E01519D6-2DB7-4640-AF54-0A23319C56C3";
constexpr std::string_view kTocKey = "DFC9AF62-FC1B-4180-BC27-11CCE87D3EFF";
constexpr int64_t kSignedFrom = 180;

struct DigestDeleter {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using Digest = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

Digest startMd5(std::string_view key) {
    Digest d(EVP_MD_CTX_new());
    if (d && (EVP_DigestInit_ex(d.get(), EVP_md5(), nullptr) != 1 ||
              EVP_DigestUpdate(d.get(), key.data(), key.size()) != 1))
        d.reset();
    return d;
}

bool finishMd5(EVP_MD_CTX* d, std::array<uint8_t, 16>& out) {
    unsigned length = 0;
    return EVP_DigestFinal_ex(d, out.data(), &length) == 1 && length == out.size();
}

std::string hexOf(const std::array<uint8_t, 16>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s.push_back(kDigits[b >> 4]);
        s.push_back(kDigits[b & 15]);
    }
    return s;
}

} // namespace

Expected<ArchiveSignatures> computeSignatures(const std::filesystem::path& archive, const SignedRanges& ranges) {
    FileReader file;
    if (!file.open(archive)) return Status::error(ErrorCode::CannotOpen, "cannot open the archive: " + file.error());
    const int64_t tocEnd = ranges.tocOffset + ranges.tocSize;
    if (ranges.tocSize < 0 || ranges.tocOffset < ranges.signedFrom || tocEnd > file.size() ||
        ranges.signedFrom > file.size()) {
        return Status::error(ErrorCode::Truncated, "the table of contents of " + std::to_string(ranges.tocSize) +
                                                       " bytes at offset " + std::to_string(ranges.tocOffset) +
                                                       " runs past the end of the file (" +
                                                       std::to_string(file.size()) + " bytes)");
    }
    Digest whole = startMd5(kHeaderKey), toc = startMd5(kTocKey);
    if (!whole || !toc || !file.seek(ranges.signedFrom)) return Status::error("cannot compute MD5");
    std::vector<uint8_t> chunk(1 << 20);
    int64_t at = ranges.signedFrom;
    while (!file.atEnd()) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(file.remaining(), chunk.size()));
        if (!file.read(chunk.data(), n))
            return Status::error(ErrorCode::CannotOpen, "cannot read the archive: " + file.error());
        EVP_DigestUpdate(whole.get(), chunk.data(), n);
        const int64_t from = std::max(at, ranges.tocOffset);
        const int64_t to = std::min(at + static_cast<int64_t>(n), tocEnd);
        if (from < to) EVP_DigestUpdate(toc.get(), chunk.data() + (from - at), static_cast<size_t>(to - from));
        at += static_cast<int64_t>(n);
    }
    ArchiveSignatures out;
    if (!finishMd5(whole.get(), out.headerBlock) || !finishMd5(toc.get(), out.extraBlock))
        return Status::error("cannot compute MD5");
    return out;
}

Expected<ArchiveSignatures> computeSignatures(const std::filesystem::path& archive, int32_t headerValue) {
    return computeSignatures(archive, SignedRanges{kSignedFrom, kSignedFrom, headerValue});
}

namespace {

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

const EVP_MD* blockDigest(BlockHash kind) {
    switch (kind) {
    case BlockHash::Md5: return EVP_md5();
    case BlockHash::Sha1: return EVP_sha1();
    default: return nullptr;
    }
}

size_t hashLength(BlockHash kind) {
    switch (kind) {
    case BlockHash::Crc32: return 4;
    case BlockHash::Md5: return 16;
    case BlockHash::Sha1: return 20;
    case BlockHash::None: break;
    }
    return 0;
}

// The per-block hashes of stored bytes handed over in pieces of any size.
class BlockHasher {
public:
    BlockHasher(BlockHash kind, int64_t blockSize) : kind_(kind), blockSize_(blockSize) {}

    bool feed(const uint8_t* data, size_t size) {
        while (size > 0) {
            if (!open_ && !startBlock()) return false;
            const size_t n = static_cast<size_t>(std::min<int64_t>(blockSize_ - filled_, static_cast<int64_t>(size)));
            if (kind_ == BlockHash::Crc32)
                crc_ = crcOf(crc_, data, n);
            else if (EVP_DigestUpdate(digest_.get(), data, n) != 1)
                return false;
            filled_ += static_cast<int64_t>(n);
            data += n;
            size -= n;
            if (filled_ == blockSize_ && !endBlock()) return false;
        }
        return true;
    }
    // Closes the last, shorter block.
    bool finish() { return !open_ || endBlock(); }
    const std::vector<uint8_t>& digests() const { return digests_; }

private:
    static uint32_t crcOf(uint32_t crc, const uint8_t* data, size_t size) { return libdeflate_crc32(crc, data, size); }

    bool startBlock() {
        open_ = true;
        filled_ = 0;
        crc_ = 0;
        if (kind_ == BlockHash::Crc32) return true;
        if (!digest_) digest_.reset(EVP_MD_CTX_new());
        return digest_ && EVP_DigestInit_ex(digest_.get(), blockDigest(kind_), nullptr) == 1;
    }
    bool endBlock() {
        open_ = false;
        if (kind_ == BlockHash::Crc32) {
            for (int i = 0; i < 4; ++i) digests_.push_back(static_cast<uint8_t>(crc_ >> (8 * i)));
            return true;
        }
        uint8_t digest[EVP_MAX_MD_SIZE] = {};
        unsigned length = 0;
        if (EVP_DigestFinal_ex(digest_.get(), digest, &length) != 1) return false;
        digests_.insert(digests_.end(), digest, digest + length);
        return true;
    }

    BlockHash kind_;
    int64_t blockSize_;
    Digest digest_;
    bool open_ = false;
    int64_t filled_ = 0;
    uint32_t crc_ = 0;
    std::vector<uint8_t> digests_;
};

int64_t hashBlockSizeOf(const ArchiveModel& model) {
    return model.hashBlockSize == 0 ? 32768 : model.hashBlockSize;
}

// The file's table of per-block hashes; empty table and the reason when it
// cannot be read.
std::string readHashTable(const ArchiveModel& model, const ArchiveFile& f, FileReader& archive,
                          std::vector<uint8_t>& table) {
    const size_t length = hashLength(f.blockHash);
    const int64_t blockSize = hashBlockSizeOf(model);
    const int64_t blocks = f.storedSize <= 0 ? 0 : (f.storedSize + blockSize - 1) / blockSize;
    table.clear();
    if (f.hashPos < 0 || f.hashPos > archive.size() ||
        blocks * static_cast<int64_t>(length) > archive.size() - f.hashPos || !archive.seek(f.hashPos)) {
        return "its block hash table at offset " + std::to_string(f.hashPos) +
               " runs past the end of the archive";
    }
    table.resize(static_cast<size_t>(blocks) * length);
    if (!archive.read(table.data(), table.size()))
        return "cannot read its block hash table: " + archive.error();
    return {};
}

// The computed per-block hashes against the table; empty when they match,
// otherwise the first block that does not.
std::string compareBlockHashes(const ArchiveModel& model, const ArchiveFile& f,
                               const std::vector<uint8_t>& computed, const std::vector<uint8_t>& table) {
    const size_t length = hashLength(f.blockHash);
    const int64_t blockSize = hashBlockSizeOf(model);
    if (computed.size() != table.size()) return "cannot compute a block hash";
    for (size_t at = 0; at < table.size(); at += length) {
        if (std::equal(table.begin() + static_cast<ptrdiff_t>(at), table.begin() + static_cast<ptrdiff_t>(at + length),
                       computed.begin() + static_cast<ptrdiff_t>(at)))
            continue;
        const int64_t b = static_cast<int64_t>(at / length);
        const int64_t end = std::min(f.storedSize, (b + 1) * blockSize);
        return "block " + std::to_string(b) + " (bytes " + std::to_string(b * blockSize) + " to " +
               std::to_string(end) + ") does not match its " +
               (f.blockHash == BlockHash::Crc32 ? "CRC-32" : f.blockHash == BlockHash::Md5 ? "MD5" : "SHA-1");
    }
    return {};
}

// The CRC-32 the file carries: in its block when it has one, else in its record.
uint32_t expectedCrc(const ArchiveFile& f, const EntryBlock& block) {
    return block.present ? block.storedCrc() : f.crc;
}

std::string checkCrc(const ArchiveFile& f, const EntryBlock& block, uint32_t ofBytes, uint32_t ofStored) {
    const uint32_t want = expectedCrc(f, block);
    const char* where = block.present ? "block" : "record";
    switch (f.crcKind) {
    case CrcKind::None: return {};
    case CrcKind::OfBytes:
        return ofBytes == want ? std::string() : "CRC-32 " + hex32(ofBytes) + ", the " + where + " says " + hex32(want);
    case CrcKind::OfStoredBytes:
        return ofStored == want ? std::string()
                                : "CRC-32 of the stored bytes " + hex32(ofStored) + ", the " + where + " says " + hex32(want);
    case CrcKind::OfEither:
        if (ofBytes == want || ofStored == want) return {};
        return "CRC-32 " + hex32(ofBytes) + " (stored bytes " + hex32(ofStored) + "), the " + where + " says " +
               hex32(want);
    }
    return {};
}

// What one entry's check needs besides the file.
struct EntryCheck {
    const ArchiveModel& model;
    FileReader& archive;
    LogSink& log;
};

// Decodes file f and checks it; empty when it passes, else its problem.
std::string checkEntry(const EntryCheck& c, const ArchiveFile& f) {
    const bool wantsStoredCrc = f.crcKind == CrcKind::OfStoredBytes || f.crcKind == CrcKind::OfEither;
    const bool wantsBytesCrc = f.crcKind == CrcKind::OfBytes || f.crcKind == CrcKind::OfEither;
    std::vector<uint8_t> table;
    std::string tableProblem;
    if (f.blockHash != BlockHash::None) tableProblem = readHashTable(c.model, f, c.archive, table);
    BlockHasher hasher(f.blockHash, hashBlockSizeOf(c.model));
    bool hashed = true;
    uint32_t ofStored = 0, ofBytes = 0;
    int64_t produced = 0;
    auto onStored = [&](const uint8_t* data, size_t size) {
        if (wantsStoredCrc) ofStored = libdeflate_crc32(ofStored, data, size);
        if (f.blockHash != BlockHash::None && tableProblem.empty()) hashed = hashed && hasher.feed(data, size);
        return true;
    };
    auto onBytes = [&](const uint8_t* data, size_t size) {
        if (wantsBytesCrc) ofBytes = libdeflate_crc32(ofBytes, data, size);
        produced += static_cast<int64_t>(size);
        return true;
    };
    EntryReader reader(c.archive, c.log);
    if (const Status read = reader.stream(f, onBytes, onStored); !read) return read.message();
    const EntryBlock& block = reader.block();
    if (produced != f.size)
        return "holds " + std::to_string(produced) + " bytes, orgSize is " + std::to_string(f.size);
    if (std::string problem = checkCrc(f, block, ofBytes, ofStored); !problem.empty()) return problem;
    if (f.blockHash == BlockHash::None) return {};
    if (!tableProblem.empty()) return tableProblem;
    if (!hashed || !hasher.finish()) return "cannot compute a block hash";
    return compareBlockHashes(c.model, f, hasher.digests(), table);
}

std::vector<VerifyProblem> headerProblems(const ArchiveModel& model, const std::filesystem::path& sFile) {
    std::vector<VerifyProblem> problems;
    auto headerProblem = [&](std::string message) { problems.push_back({0, {}, std::move(message)}); };
    if (model.tocSize < 0 || model.tocSize > INT32_MAX) {
        headerProblem("the table of contents size " + std::to_string(model.tocSize) + " is out of range");
    } else if (const auto computed =
                   computeSignatures(sFile, SignedRanges{model.signedFrom, model.tocOffset, model.tocSize});
               !computed) {
        headerProblem(computed.message());
    } else {
        const ArchiveSignatures& expected = *computed;
        if (model.dataSignature != expected.headerBlock)
            headerProblem("headerBlock " + hexOf(model.dataSignature) +
                          " does not match the archive's contents (MD5 " + hexOf(expected.headerBlock) + ")");
        if (model.tocSignature != expected.extraBlock)
            headerProblem("extraBlock " + hexOf(model.tocSignature) +
                          " does not match the table of contents (MD5 " + hexOf(expected.extraBlock) + ")");
    }
    return problems;
}

} // namespace

VerifyReport verifyArchive(const ArchiveModel& model, const std::filesystem::path& sFile, LogSink& log,
                           const VerifyOptions& options) {
    VerifyReport report;
    const int count = static_cast<int>(model.files.size());
    const int jobs = std::clamp(options.jobs, 1, std::max(1, count));
    // The signatures read the whole archive once: with more than one job
    // that runs beside the entries' checks.
    std::vector<VerifyProblem> header;
    std::thread signatures;
    // Versions 4 and 5 may leave both MD5 fields zero: not signed. (A version 2
    // header always carries them.)
    constexpr std::array<uint8_t, 16> kZero{};
    report.notSigned = model.hasHeaderSignatures && (model.major == 4 || model.major == 5) &&
                       model.dataSignature == kZero && model.tocSignature == kZero;
    if (model.hasHeaderSignatures && !report.notSigned) {
        report.signaturesChecked = true;
        if (jobs > 1)
            signatures = std::thread([&] { header = headerProblems(model, sFile); });
        else
            header = headerProblems(model, sFile);
    }
    struct Outcome {
        std::string problem;
        MemoryLog log;
    };
    auto record = [&](int i, std::string problem) {
        ++report.entriesChecked;
        if (problem.empty()) return;
        ++report.entriesFailed;
        const ArchiveFile& f = model.files[static_cast<size_t>(i)];
        report.problems.push_back({static_cast<int32_t>(model.fileNumber(static_cast<size_t>(i))), f.path(),
                                   std::move(problem)});
    };
    struct Worker {
        FileReader archive;
        bool opened = false;
    };
    std::vector<Worker> workers(static_cast<size_t>(jobs));
    for (Worker& w : workers) w.opened = w.archive.open(sFile);
    auto check = [&](Worker& w, int i, LogSink& into) -> std::string {
        if (!w.opened) return "cannot open the archive: " + w.archive.error();
        try {
            return checkEntry(EntryCheck{model, w.archive, into}, model.files[static_cast<size_t>(i)]);
        } catch (const std::exception& ex) {
            return ex.what();
        }
    };
    try {
        if (jobs == 1) {
            for (int i = 0; i < count; ++i) record(i, check(workers[0], i, log));
        } else {
            std::vector<Outcome> outcomes(static_cast<size_t>(count));
            OrderedPipeline(jobs, jobs * 256)
                .run(
                    count,
                    [&](int worker, int i) {
                        Outcome& o = outcomes[static_cast<size_t>(i)];
                        o.problem = check(workers[static_cast<size_t>(worker)], i, o.log);
                    },
                    [](int) { return true; },
                    [&](int i) {
                        Outcome& o = outcomes[static_cast<size_t>(i)];
                        o.log.replayInto(log);
                        o.log.lines = {};
                        record(i, std::move(o.problem));
                    });
        }
    } catch (...) {
        if (signatures.joinable()) signatures.join();
        throw;
    }
    if (signatures.joinable()) signatures.join();
    report.problems.insert(report.problems.begin(), header.begin(), header.end());
    return report;
}

} // namespace sga
