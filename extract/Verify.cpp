#include "extract/Verify.h"

#include "core/FileReader.h"
#include "extract/EntryData.h"
#include "core/ActivityLog.h"

#include <libdeflate.h>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
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

std::array<uint8_t, 16> wordsToBytes(const std::array<int32_t, 4>& words) {
    std::array<uint8_t, 16> bytes{};
    for (size_t i = 0; i < 16; ++i)
        bytes[i] = static_cast<uint8_t>(static_cast<uint32_t>(words[i / 4]) >> (8 * (i % 4)));
    return bytes;
}

bool computeSignatures(const std::filesystem::path& archive, int32_t headerValue,
                       ArchiveSignatures& out, std::string& error) {
    FileReader file;
    if (!file.open(archive)) {
        error = "cannot open the archive: " + file.error();
        return false;
    }
    if (headerValue < 0 || kSignedFrom + headerValue > file.size()) {
        error = "headerValue " + std::to_string(headerValue) + " runs past the end of the file (" +
                std::to_string(file.size()) + " bytes)";
        return false;
    }
    Digest whole = startMd5(kHeaderKey), toc = startMd5(kTocKey);
    if (!whole || !toc || !file.seek(kSignedFrom)) {
        error = "cannot compute MD5";
        return false;
    }
    std::vector<uint8_t> chunk(1 << 20);
    int64_t tocLeft = headerValue;
    while (!file.atEnd()) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(file.remaining(), chunk.size()));
        if (!file.read(chunk.data(), n)) {
            error = "cannot read the archive: " + file.error();
            return false;
        }
        const size_t forToc = static_cast<size_t>(std::min<int64_t>(tocLeft, n));
        EVP_DigestUpdate(whole.get(), chunk.data(), n);
        EVP_DigestUpdate(toc.get(), chunk.data(), forToc);
        tocLeft -= static_cast<int64_t>(forToc);
    }
    if (!finishMd5(whole.get(), out.headerBlock) || !finishMd5(toc.get(), out.extraBlock)) {
        error = "cannot compute MD5";
        return false;
    }
    return true;
}

namespace {

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

uint32_t crcOf(const uint8_t* data, size_t size) { return libdeflate_crc32(0, data, size); }

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

// The per-block hashes of the stored bytes against the table at hashPos;
// empty when they match, otherwise what fails first.
std::string checkBlockHashes(const ArchiveModel& model, const ArchiveFile& f, const uint8_t* stored,
                             FileReader& archive) {
    const size_t length = hashLength(f.blockHash);
    const int64_t blockSize = model.hashBlockSize == 0 ? 32768 : model.hashBlockSize;
    const int64_t blocks = (f.storedSize + blockSize - 1) / blockSize;
    std::vector<uint8_t> table;
    if (f.hashPos < 0 || blocks * static_cast<int64_t>(length) > archive.size() - f.hashPos ||
        !archive.seek(f.hashPos)) {
        return "its block hash table at offset " + std::to_string(f.hashPos) +
               " runs past the end of the archive";
    }
    table.resize(static_cast<size_t>(blocks) * length);
    if (!archive.read(table.data(), table.size()))
        return "cannot read its block hash table: " + archive.error();
    for (int64_t b = 0; b < blocks; ++b) {
        const uint8_t* from = stored + b * blockSize;
        const size_t size = static_cast<size_t>(std::min(blockSize, f.storedSize - b * blockSize));
        uint8_t digest[EVP_MAX_MD_SIZE] = {};
        if (f.blockHash == BlockHash::Crc32) {
            const uint32_t crc = crcOf(from, size);
            for (int i = 0; i < 4; ++i) digest[i] = static_cast<uint8_t>(crc >> (8 * i));
        } else {
            unsigned out = 0;
            if (EVP_Digest(from, size, digest, &out, blockDigest(f.blockHash), nullptr) != 1)
                return "cannot compute a block hash";
        }
        if (!std::equal(digest, digest + length, table.data() + b * static_cast<int64_t>(length)))
            return "block " + std::to_string(b) + " (bytes " + std::to_string(b * blockSize) + " to " +
                   std::to_string(b * blockSize + static_cast<int64_t>(size)) +
                   ") does not match its " +
                   (f.blockHash == BlockHash::Crc32 ? "CRC-32" : f.blockHash == BlockHash::Md5 ? "MD5" : "SHA-1");
    }
    return {};
}

// The CRC-32 the file carries: in its block when it has one, else in its record.
uint32_t expectedCrc(const ArchiveFile& f, const EntryBlock& block) {
    return block.present ? block.storedCrc() : f.crc;
}

std::string checkCrc(const ArchiveFile& f, const EntryBlock& block, const uint8_t* stored,
                     const std::vector<uint8_t>& bytes) {
    const uint32_t want = expectedCrc(f, block);
    switch (f.crcKind) {
    case CrcKind::None: return {};
    case CrcKind::OfBytes: {
        const uint32_t crc = crcOf(bytes.data(), bytes.size());
        return crc == want ? std::string() : "CRC-32 " + hex32(crc) + ", the " +
                   (block.present ? "block" : "record") + " says " + hex32(want);
    }
    case CrcKind::OfStoredBytes: {
        const uint32_t crc = crcOf(stored, static_cast<size_t>(f.storedSize));
        return crc == want ? std::string() : "CRC-32 of the stored bytes " + hex32(crc) + ", the " +
                   (block.present ? "block" : "record") + " says " + hex32(want);
    }
    case CrcKind::OfEither: {
        const uint32_t ofBytes = crcOf(bytes.data(), bytes.size());
        const uint32_t ofStored = crcOf(stored, static_cast<size_t>(f.storedSize));
        if (ofBytes == want || ofStored == want) return {};
        return "CRC-32 " + hex32(ofBytes) + " (stored bytes " + hex32(ofStored) + "), the " +
               (block.present ? "block" : "record") + " says " + hex32(want);
    }
    }
    return {};
}

} // namespace

VerifyReport verifyArchive(const ArchiveModel& model, const std::filesystem::path& sFile,
                           LogSink& log) {
    VerifyReport report;
    auto headerProblem = [&](std::string message) {
        report.problems.push_back({0, {}, std::move(message)});
    };
    if (model.hasHeaderSignatures) {
        report.signaturesChecked = true;
        ArchiveSignatures expected;
        std::string error;
        if (model.tocSize < 0 || model.tocSize > INT32_MAX) {
            headerProblem("the table of contents size " + std::to_string(model.tocSize) + " is out of range");
        } else if (!computeSignatures(sFile, static_cast<int32_t>(model.tocSize), expected, error)) {
            headerProblem(error);
        } else {
            if (model.dataSignature != expected.headerBlock)
                headerProblem("headerBlock " + hexOf(model.dataSignature) +
                              " does not match the archive's contents (MD5 " +
                              hexOf(expected.headerBlock) + ")");
            if (model.tocSignature != expected.extraBlock)
                headerProblem("extraBlock " + hexOf(model.tocSignature) +
                              " does not match the table of contents (MD5 " +
                              hexOf(expected.extraBlock) + ")");
        }
    }

    FileReader archive;
    const bool opened = archive.open(sFile);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < model.files.size(); ++i) {
        const ArchiveFile& f = model.files[i];
        ++report.entriesChecked;
        std::string problem;
        EntryBlock block;
        const uint8_t* stored = nullptr;
        if (!opened) {
            problem = "cannot open the archive: " + archive.error();
        } else if (int16_t result = readStoredInPlace(f, archive, log, &stored, block); result != 0) {
            problem = describeEntryFailure(f, result);
        } else if (result = decodeStoredBytes(f, stored, static_cast<size_t>(f.storedSize), bytes);
                   result != 0) {
            problem = describeEntryResult(result);
        } else if (static_cast<int64_t>(bytes.size()) != f.size) {
            problem = "holds " + std::to_string(bytes.size()) + " bytes, orgSize is " +
                      std::to_string(f.size);
        } else {
            problem = checkCrc(f, block, stored, bytes);
            if (problem.empty() && f.blockHash != BlockHash::None) {
                // The table read moves the archive; the stored bytes stay in scratch.
                problem = checkBlockHashes(model, f, stored, archive);
            }
        }
        if (!problem.empty()) {
            ++report.entriesFailed;
            report.problems.push_back(
                {static_cast<int32_t>(model.fileNumber(i)), f.path(), std::move(problem)});
        }
    }
    return report;
}

} // namespace sga
