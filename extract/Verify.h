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
    bool notSigned = false;           // versions 4 and 5: both header MD5 fields zero, nothing checked
    std::vector<VerifyProblem> problems;
    bool ok() const { return problems.empty(); }
};

// The two signatures a version 2, 4 or 5 header carries: headerBlock is the
// MD5 of a fixed text and every byte from the end of the header to the end
// of the file; extraBlock the MD5 of another text and the ToC's bytes.
struct ArchiveSignatures {
    std::array<uint8_t, 16> headerBlock{};
    std::array<uint8_t, 16> extraBlock{};
};
// Where the two signed ranges lie: the data MD5 covers signedFrom to the end
// of the file, the ToC MD5 tocSize bytes from tocOffset.
struct SignedRanges {
    int64_t signedFrom = 180;
    int64_t tocOffset = 180;
    int64_t tocSize = 0;
};
// Fails when the file cannot be read or a range runs past its end.
Expected<ArchiveSignatures> computeSignatures(const std::filesystem::path& archive, const SignedRanges& ranges);
// The version 2 ranges: both from offset 180, the ToC headerValue bytes long.
Expected<ArchiveSignatures> computeSignatures(const std::filesystem::path& archive, int32_t headerValue);

// Reads every file of the archive (its "decompressing"/"pad" lines go to
// log) and checks the header signatures where the layout has them (versions
// 2, 4 and 5); a version 4 or 5 header whose two MD5 fields are zero is not
// signed.
struct VerifyOptions {
    int jobs = 1;   // entries checked in parallel; the report and the log as with one
};
VerifyReport verifyArchive(const ArchiveModel& model, const std::filesystem::path& sFile,
                           LogSink& log, const VerifyOptions& options = {});

} // namespace sga
