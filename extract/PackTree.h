#pragma once
// Packing, the tree half: the folders to pack read from disk into stored
// names, checked against what a version 2 archive can hold, and laid out as
// its table of contents (drives, folders, file records, names).

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sga::pack {

// Input the archive cannot hold, or a folder that cannot be read. what() is
// one line of UTF-8 that names the offending path.
struct PackError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// 17-byte file records with an 8-bit flag, or 20-byte ones with a 32-bit flag.
enum class RecordLayout { Narrow, Wide };

struct SourceFile {
    std::string name;                 // stored: Windows-1252, lower case unless kept
    std::filesystem::path path;       // on disk
    uint64_t size = 0;
    int64_t mtime = 0;                // seconds, from the disk
};

struct SourceFolder {
    std::string name;                 // stored bare name; empty for a drive's root
    std::filesystem::path path;       // on disk
    std::vector<SourceFolder> folders;   // sorted by stored name
    std::vector<SourceFile> files;       // sorted by stored name
};

struct ScanOptions {
    bool keepCase = false;
    // Never packed (the target archive, when it lies inside the folder).
    std::filesystem::path exclude;
};

// Reads folder and everything below it. Symbolic links, pipes, sockets and devices are
// skipped, each with a line in warnings (UTF-8). Throws PackError.
SourceFolder scanFolder(const std::filesystem::path& folder, const ScanOptions& options,
                        std::vector<std::string>& warnings);

// The stored form of one disk name (UTF-8): Windows-1252, in lower case
// unless keepCase. shown is the path given in the error. Throws PackError
// for a name that cannot be stored.
std::string storedName(std::string_view diskName, bool keepCase, std::string_view shown);
// ASCII and Windows-1252 letters in lower case.
std::string lowerCp1252(std::string text);

struct TocDrive {
    std::string alias;                // Windows-1252
    uint32_t firstFolder = 0, lastFolder = 0, firstFile = 0, lastFile = 0, root = 0;
};
struct TocFolder {
    std::string path;                 // from the drive root with "\", root ""
    uint32_t firstFolder = 0, lastFolder = 0, firstFile = 0, lastFile = 0;
};
struct TocFile {
    std::string name;                 // bare stored name
    std::string shown;                // "alias:dir\name" for the log (Windows-1252)
    std::filesystem::path path;
    uint64_t size = 0;
    uint32_t mtime = 0;
};
struct TocPlan {
    std::vector<TocDrive> drives;
    std::vector<TocFolder> folders;
    std::vector<TocFile> files;
};

struct PlanDrive {
    std::string alias;                // Windows-1252
    const SourceFolder* root = nullptr;
};

// Numbers every drive's folders (a folder's subfolders take one block, then
// each of them is numbered in turn) and then its files, folder after folder
// in table order, so that the last folder's files end the file table.
// Throws PackError when the counts do not fit the 16-bit fields.
TocPlan layOut(const std::vector<PlanDrive>& drives);

// What the data pass found out about one file.
struct StoredEntry {
    uint32_t flag = 0;                // 0 stored, 0x10 zlib stream, 0x20 zlib buffer
    uint32_t dataOffset = 0;          // from the header's data offset, past the block
    uint32_t storedSize = 0;
    uint32_t size = 0;
};

// The table of contents as written at offset 180; entries may be empty (all
// records zero) to learn its size.
std::vector<uint8_t> tocBytes(const TocPlan& plan, RecordLayout layout,
                              const std::vector<StoredEntry>& entries);

inline constexpr size_t kHeaderSize = 180;
inline constexpr size_t kBlockSize = 264;
inline constexpr size_t kBlockNameSize = 256;
inline constexpr size_t kMaxNames = 32767;

} // namespace sga::pack
