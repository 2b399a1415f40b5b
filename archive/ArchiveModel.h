#pragma once
// The opened archive as every layout describes it: drives, folders and
// files with where each file's bytes lie and how they are stored. Each layout
// reader fills one of these; the tree, preview, extraction, verification and
// the command line work from it alone and never ask which layout it was.
//
// Entry numbers count from 1 over folders, then files: entries 1 to
// folders.size() are folders, the rest are files in table order. Tree keys
// end in these numbers.

#include "archive/LayoutTable.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

// How a file's stored bytes turn into its bytes.
enum class Storage : uint8_t {
    Stored,
    ZlibStream,
    ZlibBuffer,
    BrotliStream,
    BrotliBuffer,
    Encrypted,   // refused on extraction
    Unknown,     // refused on extraction
};

// Which CRC-32 a file carries, and over what.
enum class CrcKind : uint8_t {
    None,
    OfBytes,          // of the file's (decompressed) bytes
    OfStoredBytes,    // of the stored bytes
    OfEither,         // unsettled: either of the two is accepted
};

// Per-block hashes from version 7 on, over the stored bytes.
enum class BlockHash : uint8_t { None, Crc32, Md5, Sha1 };

// Names up to version 5 are Windows-1252; from version 6 on UTF-8.
enum class TextEncoding : uint8_t { Cp1252, Utf8 };

struct ArchiveDrive {
    std::string alias;       // "data", "attrib", ...
    std::string name;
    int32_t rootFolder = -1; // index into ArchiveModel::folders, -1 when the root has no entry
};

struct ArchiveFolder {
    std::string path;        // archive path as listed ("art\fx", "attrib\art" with several drives)
    int32_t parent = -1;     // index into folders, -1 for the top level
    int32_t drive = 0;
};

struct ArchiveFile {
    std::string name;        // bare file name
    std::string folder;      // path of the owning folder, empty at the top level
    int32_t folderIndex = -1;
    int64_t dataPos = 0;     // absolute offset of the stored bytes
    int64_t storedSize = 0;
    int64_t size = 0;        // after decompression
    Storage storage = Storage::Stored;
    uint32_t storageValue = 0;   // as recorded (flag or storage byte)
    bool hasMtime = false;
    uint32_t mtime = 0;          // Unix seconds
    CrcKind crcKind = CrcKind::None;
    uint32_t crc = 0;
    int64_t blockPos = -1;       // the block before the stored bytes (-1 when there is none)
    int32_t blockSize = 0;       // 0: there is no block
    int32_t blockNameSize = 0;   // of which the NUL-padded name field
    // Version 7 on: per-block hashes.
    BlockHash blockHash = BlockHash::None;
    int64_t hashPos = 0;         // absolute offset of this file's first block hash

    // "folder\name", or the name at the top level.
    std::string path() const { return folder.empty() ? name : folder + "\\" + name; }
};

struct ArchiveModel {
    Layout layout = Layout::V2Narrow;
    uint16_t major = 0;
    uint16_t minor = 0;
    TextEncoding encoding = TextEncoding::Cp1252;
    std::string name;            // the archive name in the header (as the encoding has it)
    std::vector<ArchiveDrive> drives;
    std::vector<ArchiveFolder> folders;
    std::vector<ArchiveFile> files;

    int64_t fileSize = 0;
    int64_t dataOffset = 0;
    int64_t tocOffset = 0;
    int64_t tocSize = 0;

    // Version 2 header signatures (MD5 of the data and of the table of contents).
    bool hasHeaderSignatures = false;
    std::array<uint8_t, 16> dataSignature{};
    std::array<uint8_t, 16> tocSignature{};
    int64_t signedFrom = 0;      // where both signed ranges begin

    // Version 7 on: the block size of per-block hashes (0 stored means 32 KiB).
    uint32_t hashBlockSize = 0;
    // Version 8 on: the 256-byte signature (shown, not checked).
    std::vector<uint8_t> signature;

    int entryCount() const { return static_cast<int>(folders.size() + files.size()); }
    int folderCount() const { return static_cast<int>(folders.size()); }
    bool isFileNumber(int64_t m) const { return m > folderCount() && m <= entryCount(); }
    const ArchiveFile& fileOf(int64_t m) const {
        return files[static_cast<size_t>(m - folderCount() - 1)];
    }
    int64_t fileNumber(size_t fileIndex) const {
        return static_cast<int64_t>(fileIndex) + folderCount() + 1;
    }
    bool empty() const { return folders.empty() && files.empty(); }
};

// The layout's name from its row in the layout table.
std::string_view layoutName(Layout layout);
// One line on the layout: "Version 4.0 (Company of Heroes)" and the like.
std::string layoutDescription(const ArchiveModel& model);
// Short ("zlib"), for listings; and whole ("zlib stream"), for the trace.
std::string_view storageName(Storage storage);
std::string_view storageDescription(Storage storage);

// Archive text as UTF-8 (paths on disk, the window, the command line).
std::string modelTextToUtf8(const ArchiveModel& model, std::string_view text);
// The characters of a fixed text field before the first NUL (all of them when there is none).
std::string trimAtNul(std::string_view text);

} // namespace sga
