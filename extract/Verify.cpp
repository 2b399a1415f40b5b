#include "extract/Verify.h"

#include "core/FileReader.h"
#include "extract/EntryData.h"
#include "core/ActivityLog.h"

#include <libdeflate.h>
#include <algorithm>
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

VerifyReport verifyArchive(const ArchiveIndex& index, const std::filesystem::path& sFile,
                           LogSink& log) {
    VerifyReport report;
    auto headerProblem = [&](std::string message) {
        report.problems.push_back({0, {}, std::move(message)});
    };
    if (index.version == 2) {
        report.signaturesChecked = true;
        ArchiveSignatures expected;
        std::string error;
        if (!computeSignatures(sFile, index.headerValue, expected, error)) {
            headerProblem(error);
        } else {
            if (wordsToBytes(index.headerBlock) != expected.headerBlock)
                headerProblem("headerBlock " + hexOf(wordsToBytes(index.headerBlock)) +
                              " does not match the archive's contents (MD5 " +
                              hexOf(expected.headerBlock) + ")");
            if (wordsToBytes(index.extraBlock) != expected.extraBlock)
                headerProblem("extraBlock " + hexOf(wordsToBytes(index.extraBlock)) +
                              " does not match the table of contents (MD5 " +
                              hexOf(expected.extraBlock) + ")");
        }
    }

    FileReader archive;
    const bool opened = archive.open(sFile);
    std::vector<uint8_t> buffer;
    for (int32_t m = index.dirCount() + 1; m <= index.totalEntries(); ++m) {
        const FileEntry& e = index.entries[static_cast<size_t>(m - 1)];
        ++report.entriesChecked;
        std::string problem;
        EntryBlock block;
        if (!opened) {
            problem = "cannot open the archive: " + archive.error();
        } else if (!archive.seek(e.filePos)) {
            problem = "data block at offset " + std::to_string(e.filePos) + " lies outside the archive";
        } else if (const int16_t result = readEntryData(e, archive, log, buffer, block); result != 0) {
            problem = describeEntryResult(result);
        } else if (static_cast<int64_t>(buffer.size()) != e.orgSize) {
            problem = "holds " + std::to_string(buffer.size()) + " bytes, orgSize is " +
                      std::to_string(e.orgSize);
        } else {
            const uint32_t crc = libdeflate_crc32(0, buffer.data(), buffer.size());
            if (crc != block.storedCrc()) {
                char text[64];
                std::snprintf(text, sizeof text, "CRC-32 %08x, the block says %08x", crc,
                              block.storedCrc());
                problem = text;
            }
        }
        if (!problem.empty()) {
            ++report.entriesFailed;
            report.problems.push_back(
                {m, e.dirName.empty() ? e.name : e.dirName + "\\" + e.name, std::move(problem)});
        }
    }
    return report;
}

} // namespace sga
