#pragma once
// Builds archives in memory for tests: header, data header, table of contents,
// directory and file tables, names and the data area with the 264-byte block
// before every file's bytes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sga::testing {

using Bytes = std::vector<uint8_t>;

struct DirectoryPlan {
    std::string name;       // full path with "\"
    int16_t start = 0;      // stored: index within the file table of the first file
};

struct EntryPlan {
    std::string name;                    // bare file name
    Bytes data;                          // the file's bytes
    bool compress = false;               // store as a zlib stream
    uint8_t flag = 0;                    // 0: derived from compress (1 when compressed)
    std::optional<int32_t> orgSize;      // default: data.size()
    std::optional<Bytes> stored;         // bytes to store instead of data / its stream
    std::string blockName;               // default: name
    std::optional<Bytes> pad;            // default: mod time 0 and CRC-32 of data
};

struct ArchivePlan {
    int32_t version = 2;
    std::string archiveName = "Data";
    bool wideName = false;               // 16-bit characters
    std::vector<DirectoryPlan> dirs;           // named directories; record 0 is added
    std::vector<EntryPlan> files;
    std::string magic = "_ARCHIVE";
    // Overrides of stored values.
    std::optional<int16_t> dirCount, totalEntries, fileCount, countAfterDirs, tocChunks;
    std::optional<int32_t> numOfRecords;
    std::optional<int32_t> dataOffset;
    bool finalNul = true;                // the last name ends with a zero byte
    int16_t record0Start = 0;
    // Version 2: fill headerBlock and extraBlock with the MD5 signatures of
    // the contents and of the table of contents (otherwise both are zero).
    bool sign = false;
};

Bytes buildArchive(const ArchivePlan& plan);
// Offsets of interest in the archive last described by plan.
struct PlanOffsets {
    size_t headerSize;       // 164 or 180
    size_t dirTable;         // offset of directory record 0
    size_t fileCount;        // offset of the count after the directory table
    size_t fileTable;
    size_t nameTable;
    size_t dataArea;
};
PlanOffsets offsetsOf(const ArchivePlan& plan);
// Directory records actually written: the stored numOfRecords may claim more.
size_t writtenRecords(const ArchivePlan& plan);

Bytes zlibCompress(const Bytes& data, int level = 6);
Bytes textBytes(const std::string& s);

// A folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path write(const std::string& name, const Bytes& bytes) const;

private:
    std::filesystem::path path_;
};

Bytes readFile(const std::filesystem::path& path);
std::vector<std::string> readLines(const std::filesystem::path& path);   // split on CR LF

// Where the real archives lie, or empty when the folder is absent.
std::filesystem::path realArchivesDir();

} // namespace sga::testing
