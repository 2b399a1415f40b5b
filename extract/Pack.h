#pragma once
// Packing folders into an archive of version 2, 4, 5, 7, 9 or 10: one drive
// per folder, names in lower case unless kept (Windows-1252 up to version 5,
// UTF-8 from 7), what each layout carries per file (blocks, CRCs, block
// hashes) and in its header (MD5s, a zero signature). The archive is written
// under a temporary name beside the target and renamed over it only once
// complete.

#include "extract/PackFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

class LogSink;
class ReportSink;

// Wide for a ".sga" target, Narrow otherwise.
PackLayout defaultPackLayout(const std::filesystem::path& target);

struct PackDrive {
    std::string alias;                  // UTF-8, such as "Data"
    std::filesystem::path folder;
};

struct PackOptions {
    std::vector<PackDrive> drives;
    std::filesystem::path target;
    PackLayout layout = PackLayout::Narrow;
    std::string archiveName;            // UTF-8; empty: the target's name without extension
    int level = 9;                      // 1 to 12 (Brotli: quality level - 1)
    PackVerification verification = PackVerification::Crc;   // from version 7
    uint32_t blockSize = 32768;         // of the per-block hashes
    PackStorage storage = PackStorage::Zlib;                 // Brotli in version 10 only
    bool force = false;                 // replace a read-only target
    int jobs = 1;                       // files read and compressed at once
    bool keepCase = false;
    std::optional<uint32_t> mtime;      // every file's time; otherwise each file's own
};

struct PackReport {
    bool ok = false;
    std::string error;                  // one line (UTF-8) when not ok
    std::vector<std::string> warnings;  // files skipped (UTF-8)
    int folders = 0;
    int files = 0;
    int64_t originalBytes = 0;
    int64_t archiveBytes = 0;
};

// Writes the archive. The log gets one line per file; the host shows the
// progress and may stop the run (then nothing is written). On any failure
// the target is left as it was.
PackReport packArchive(const PackOptions& options, LogSink& log, ReportSink& host);

// The time every file gets: the explicit one, else SOURCE_DATE_EPOCH when
// set (sourceDateEpoch is its value or null), else none (each file's own).
// False and why when the variable is not a number of seconds in 32 bits.
bool chooseMtime(std::optional<int64_t> explicitSeconds, const char* sourceDateEpoch,
                 std::optional<uint32_t>& out, std::string& error);

// How one file is kept: 0 stored, 0x10 zlib stream, 0x20 zlib buffer (text).
// A file of 100 bytes or less is stored.
uint32_t chooseFlag(std::string_view storedName, uint64_t size);

} // namespace sga
