#pragma once
// Packing, the tree half: the folders to pack read from disk into stored
// names, checked against what the chosen layout can hold, and numbered into
// its drive, folder and file tables.

#include "core/Status.h"
#include "extract/PackFormat.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sga::pack {

struct SourceFile {
    std::string name;                 // stored: in the layout's encoding, lower case unless kept
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
    bool utf8 = false;                // names stored in UTF-8 (else Windows-1252)
    size_t maxNameBytes = 255;        // of one stored name
    // Never packed (the target archive, when it lies inside the folder).
    std::filesystem::path exclude;
};

// Reads folder and everything below it. Symbolic links, pipes, sockets and
// devices are skipped, each with a line in warnings (UTF-8). The error names
// the path that cannot be read or stored.
Expected<SourceFolder> scanFolder(const std::filesystem::path& folder, const ScanOptions& options,
                                  std::vector<std::string>& warnings);

// The stored form of one disk name (UTF-8): Windows-1252 or UTF-8, in lower
// case unless keepCase. shown is the path the error names.
Expected<std::string> storedName(std::string_view diskName, const ScanOptions& options, std::string_view shown);
// ASCII and Windows-1252 letters in lower case.
std::string lowerCp1252(std::string text);
// Letters of ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic in lower
// case; everything else (and bytes that are not UTF-8) as it is.
std::string lowerUtf8(std::string_view text);

struct TocFile {
    std::string name;                 // bare stored name
    std::string shown;                // "alias:dir\name" for the log (the layout's encoding)
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
    std::string alias;                // in the layout's encoding
    const SourceFolder* root = nullptr;
};

// Numbers every drive's folders (a folder's subfolders take one block, then
// each of them is numbered in turn) and then its files, folder after folder
// in table order, so that the last folder's files end the file table. Fails
// when the counts do not fit the layout's fields.
Expected<TocPlan> layOut(const std::vector<PlanDrive>& drives, const LayoutFacts& layout);

} // namespace sga::pack
