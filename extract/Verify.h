#pragma once
// Checking a loaded archive against its own bytes: every file must decode
// to exactly its size and match every checksum its layout carries (the
// CRC-32 in its block or record, per-block CRC-32, MD5 or SHA-1 tables); a
// version 2 header must carry the two MD5 signatures of its contents.

#include "archive/ArchiveModel.h"
#include "core/Status.h"

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
    bool signaturesChecked = false;   // layouts with header signatures only
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
// Fails when the file cannot be read or headerValue runs past its end.
Expected<ArchiveSignatures> computeSignatures(const std::filesystem::path& archive, int32_t headerValue);

// Reads every file of the archive (its "decompressing"/"pad" lines go to
// log) and checks the header signatures where the layout has them.
struct VerifyOptions {
    int jobs = 1;   // entries checked in parallel; the report and the log as with one
};
VerifyReport verifyArchive(const ArchiveModel& model, const std::filesystem::path& sFile,
                           LogSink& log, const VerifyOptions& options = {});

} // namespace sga
