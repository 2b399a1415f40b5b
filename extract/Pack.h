#pragma once
// Packing folders into a version 2 archive: one drive per folder, names in
// Windows-1252 (lower case unless kept), every file's 264-byte block, zlib
// streams, both header signatures. The archive is written under a temporary
// name beside the target and renamed over it only once complete.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

class LogSink;
class ReportSink;

enum class PackLayout {
    Narrow,   // 17-byte file records with an 8-bit flag ("hw2")
    Wide,     // 20-byte file records with a 32-bit flag ("dow")
};
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
    int level = 9;                      // 1 to 12
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
