#pragma once
// Checking a loaded archive against its own bytes: every file entry must
// inflate to exactly its orgSize and match the CRC-32 kept in its block; a
// version 2 archive's header must carry the two MD5 signatures of its
// contents.

#include "archive/ArchiveIndex.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sga {

class LogSink;

struct VerifyProblem {
    int32_t entryNumber = 0;   // 0: the archive header
    std::string path;          // archive path of the entry (8-bit), empty for the header
    std::string message;
};

struct VerifyReport {
    int entriesChecked = 0;
    int entriesFailed = 0;
    bool signaturesChecked = false;   // version 2 only
    std::vector<VerifyProblem> problems;
    bool ok() const { return problems.empty(); }
};

// The two signatures a version 2 header carries: headerBlock is the MD5 of
// a fixed text and every byte from offset 180 to the end; extraBlock the MD5
// of another text and the headerValue bytes from offset 180.
struct ArchiveSignatures {
    std::array<uint8_t, 16> headerBlock{};
    std::array<uint8_t, 16> extraBlock{};
};
// False (and why) when the file cannot be read or headerValue runs past its end.
bool computeSignatures(const std::filesystem::path& archive, int32_t headerValue,
                       ArchiveSignatures& out, std::string& error);
// A header field of four 32-bit words as the 16 bytes stored on disk.
std::array<uint8_t, 16> wordsToBytes(const std::array<int32_t, 4>& words);

// Reads every file entry of the archive (its "decompressing"/"pad" lines go
// to log) and, for version 2, checks the signatures.
VerifyReport verifyArchive(const ArchiveIndex& index, const std::filesystem::path& sFile,
                           LogSink& log);

} // namespace sga
