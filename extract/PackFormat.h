#pragma once
// Packing, the layout half: one row per layout the packer writes (header and
// table widths, what each file carries, the limits of its fields) and the
// writers of its header and table of contents from those rows.

#include "core/Status.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

enum class PackLayout {
    Narrow,   // version 2, 17-byte file records with an 8-bit flag ("hw2", "v2")
    Wide,     // version 2, 20-byte file records with a 32-bit flag ("dow", "v2-wide")
    V4,       // version 4.0: 22-byte records, the 260-byte block, platform word
    V5,       // version 5, the table of contents after the data (196-byte header)
    V7,       // version 7: UTF-8 names, record CRC, per-block hashes
    V9,       // version 9: 64-bit data offsets, the data-size field, signature
    V10,      // version 10: as 9 without the mtime; Brotli storage
};

// How every file's stored bytes are checked from version 7 on.
enum class PackVerification { None, Crc, BlockCrc, BlockMd5, BlockSha1 };
// The compressor of version 10 archives (zlib in every other layout).
enum class PackStorage { Zlib, Brotli };

// The layout of a --layout word ("hw2", "v2", "dow", "v2-wide", "v4", "v5",
// "v7", "v9", "v10"); none for any other word.
std::optional<PackLayout> packLayoutNamed(std::string_view word);
std::optional<PackVerification> packVerificationNamed(std::string_view word);

namespace pack {

struct LayoutFacts {
    PackLayout layout;
    const char* word;                 // the --layout word
    uint16_t major;
    uint32_t headerSize;              // 180, 184, 196, 152 or 428
    uint32_t tocHeaderSize;           // 24, 40 or 44
    bool wideCounts;                  // 32-bit counts and ranges (else 16-bit)
    uint32_t recordSize;              // 17, 20, 22, 30 or 34
    uint32_t blockSize;               // the block before each file's data: 264, 260 or none
    bool utf8;                        // names in UTF-8 (else Windows-1252)
    bool headerMd5s;                  // the two header MD5s at 12 and 156
    bool tocAfterData;                // the ToC follows the data
    bool verification;                // record CRC and per-block hashes
    bool offsets64;                   // 64-bit data offsets in records and header
    bool recordMtime;                 // the mtime in the file record
    bool nameCountIsBytes;            // the name count counts bytes, not strings
    bool brotli;                      // Brotli storage allowed
    bool severalDrives;
    uint64_t maxRecords;              // folders, files: the widest a range field holds
    uint64_t maxNames;                // folders and files together (the name count)
    bool offsets32() const { return !offsets64; }
};

const LayoutFacts& factsOf(PackLayout layout);

// A table entry as the packer plans it.
struct TocDrive {
    std::string alias;                // in the layout's encoding
    uint32_t firstFolder = 0, lastFolder = 0, firstFile = 0, lastFile = 0, root = 0;
};
struct TocFolder {
    std::string path;                 // from the drive root with "\", root ""
    uint32_t firstFolder = 0, lastFolder = 0, firstFile = 0, lastFile = 0;
};

// What the data pass found out about one file.
struct StoredEntry {
    uint8_t storage = 0;              // 0 stored, 1/2 zlib stream/buffer, 3/4 Brotli stream/buffer
    uint64_t dataOffset = 0;          // from the header's data offset, past the block
    uint32_t storedSize = 0;
    uint32_t size = 0;
    uint32_t mtime = 0;
    uint32_t storedCrc = 0;           // CRC-32 of the stored bytes (record, from version 7)
    uint32_t hashOffset = 0;          // into the hash table
};

struct TocInput {
    const std::vector<TocDrive>* drives = nullptr;
    const std::vector<TocFolder>* folders = nullptr;
    const std::vector<std::string>* fileNames = nullptr;
    const std::vector<StoredEntry>* entries = nullptr;   // may be empty: records of zeros
    uint8_t verification = 0;         // the record's verification byte
    uint32_t hashBlockSize = 0;
    const std::vector<uint8_t>* hashes = nullptr;        // the hash table, may be null
};

// The table of contents in the layout's widths: ToC header, drives,
// folders, file records, names and the hash table.
std::vector<uint8_t> tocBytes(const LayoutFacts& layout, const TocInput& in);

struct HeaderFields {
    std::u16string name;
    uint64_t tocOffset = 0;
    uint64_t tocSize = 0;
    uint64_t dataOffset = 0;
    uint64_t dataSize = 0;
};
// The header with both MD5 fields (where it has them) and the signature left zero.
std::vector<uint8_t> headerBytes(const LayoutFacts& layout, const HeaderFields& fields);

// The 260 or 264-byte block before a file's data.
std::vector<uint8_t> blockBytes(const LayoutFacts& layout, std::string_view name, uint32_t mtime,
                                uint32_t crcOfBytes);

// Bytes of one hash of each verification kind (0 when there is no table).
size_t hashBytes(PackVerification kind);
uint8_t verificationByte(PackVerification kind);

} // namespace pack
} // namespace sga
