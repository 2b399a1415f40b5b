#pragma once
// Builds archives of the layouts after the 17-byte one (version 2 with
// 20-byte records up to version 10) in memory from a plan: drives with
// nested folders and files, how each file is stored and verified, the block
// before each file's data where the layout has one, and overrides of stored
// values for hostile cases. Folders and files are laid out as packers do:
// each folder's subfolders and files form contiguous ranges.

#include "archive/ArchiveModel.h"
#include "tests/support/ArchiveWriter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sga::testing {

enum class StoreAs : uint8_t { Stored, ZlibStream, ZlibBuffer, BrotliStream, BrotliBuffer };

// Version 2 with 20-byte records: the block before each file's data.
enum class V2Block : uint8_t { Name256, Name260, None };

struct FilePlan {
    std::string name;
    Bytes data;
    StoreAs storeAs = StoreAs::Stored;
    uint32_t mtime = 0;
    // Version 6 on: 0 none, 1 CRC-32 of the stored bytes, from version 7 also
    // 2, 3, 4 per-block CRC-32, MD5, SHA-1.
    uint8_t verification = 1;
    // Written instead of the true values.
    std::optional<uint32_t> storageValue;   // the flag (version 2) or the storage byte
    std::optional<uint64_t> dataOffset;     // from the data offset
    std::optional<uint32_t> storedSize;
    std::optional<uint32_t> size;           // after decoding
    std::optional<uint32_t> crc;
};

struct FolderPlan {
    std::string name;                       // one path element; the root's is empty
    std::vector<FolderPlan> folders;
    std::vector<FilePlan> files;
    std::optional<std::string> storedName;  // written instead of the full path
    std::optional<std::pair<uint32_t, uint32_t>> subfolders;   // written instead of the true ranges
    std::optional<std::pair<uint32_t, uint32_t>> fileRange;
};

struct DriveRanges {
    uint32_t firstFolder, lastFolder, firstFile, lastFile;
};

struct DrivePlan {
    std::string alias = "data";
    std::string name = "data";
    FolderPlan root;
    std::optional<DriveRanges> ranges;      // written instead of the true ones
};

struct LayoutPlan {
    sga::Layout layout = sga::Layout::V10;
    std::optional<uint16_t> major;          // default: the layout's
    uint16_t minor = 0;
    std::string archiveName = "test archive";   // ASCII
    std::vector<DrivePlan> drives;
    V2Block v2Block = V2Block::Name256;
    bool sign = true;                       // version 2: both header MD5s
    uint32_t hashBlockSize = 0;             // as stored; 0 means 32 KiB
    uint8_t signatureFill = 0;              // version 8 on: the 256-byte signature
};

// An archive in pieces: the header (and ToC, except for version 5 form A,
// whose ToC follows the data) with final 64-bit offsets, the data area and
// what follows it. Writing head, then data at dataOffset, then tail gives
// the archive; data may be replaced by a hole of the same size.
struct LayoutBytes {
    Bytes head;
    Bytes data;
    Bytes tail;
    int64_t dataOffset = 0;
    // Per file, in file-table order: the model path, where its stored bytes
    // lie in the archive and what they are.
    std::vector<std::string> paths;
    std::vector<int64_t> dataPos;
    std::vector<Bytes> stored;

    Bytes joined() const;
};

LayoutBytes buildLayoutParts(const LayoutPlan& plan);
Bytes buildLayout(const LayoutPlan& plan);

Bytes brotliCompress(const Bytes& data);
uint32_t crc32Of(const Bytes& data);

} // namespace sga::testing
