#pragma once
// The table-of-contents engine every later layout shares: bounded field
// reads, the ToC header, the drive, folder and file tables, the name table
// and the walk from each drive's root folder that turns them into the
// model. A layout supplies only its widths and how one file record reads.
//
// Failures are raised as TocFailure inside the readers and turned into a
// Status by readLayout and detectLayout; nothing of it leaves this module.

#include "archive/ArchiveModel.h"
#include "core/Status.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

class FileReader;
class LogSink;

struct TocFailure {
    ErrorCode code;
    std::string message;
};
[[noreturn]] void failWith(ErrorCode code, std::string message);

std::string num(int64_t value);
std::string hex32(uint32_t value);

// Little-endian values inside bytes already read.
uint16_t le16(const uint8_t* p);
uint32_t le32(const uint8_t* p);
uint64_t le64(const uint8_t* p);

// Reads named fields at absolute offsets; running past the end fails with a
// message naming the field, its offset and the file's end.
class FieldCursor {
public:
    explicit FieldCursor(FileReader& file) : file_(file) {}
    int64_t size() const;
    // Exactly n bytes at offset at, for the field what.
    std::vector<uint8_t> bytes(int64_t at, size_t n, std::string_view what);
    uint32_t u32(int64_t at, std::string_view what);
    // True when [at, at + n) lies inside the file.
    bool holds(int64_t at, int64_t n) const;

private:
    FileReader& file_;
};

struct TocTable {
    uint32_t offset = 0;          // from the ToC start
    uint32_t count = 0;
};

struct TocHeader {
    int64_t start = 0;            // absolute
    TocTable drives, folders, files, names;
    uint32_t hashOffset = 0;      // version 7 on, from the ToC start
    uint32_t hashLength = 0;      // version 8 on
    uint32_t blockSize = 0;       // version 7 on
};

TocHeader readTocHeader(FieldCursor& in, int64_t start, const TocShape& shape);

// True when the drive, folder and file tables lie one after another (in any
// order) right after the ToC header, and the names follow the last of them:
// what a consistent ToC of these widths looks like.
bool tablesTile(const TocHeader& toc, const TocShape& shape);

// What a layout reads out of one file record.
struct FileRecord {
    uint32_t nameOffset = 0;
    uint64_t dataOffset = 0;      // from the header's data offset
    uint32_t storedSize = 0;
    uint32_t size = 0;
    uint32_t storageValue = 0;
    Storage storage = Storage::Stored;
    bool hasMtime = false;
    uint32_t mtime = 0;
    CrcKind crcKind = CrcKind::None;
    uint32_t crc = 0;
    BlockHash blockHash = BlockHash::None;
    uint32_t hashOffset = 0;      // into the ToC's hash table
};
using RecordParser = std::function<FileRecord(const uint8_t* record)>;

// Storage of a version 2 flag, and of the storage byte from version 4 on.
Storage storageOfFlag(uint32_t flag);
Storage storageOfByte(uint8_t value);
// The 22 bytes every record from version 4 on begins with: u32 name, data,
// stored size, size, mtime, u8 verification, u8 storage.
FileRecord parseRecordFrom4(const uint8_t* record);
// Verification byte from version 6 on: a whole-file CRC of the stored bytes
// (1), per-block hashes (2 to 4) or nothing.
void applyVerification(uint8_t verification, uint32_t crc, bool blockHashes, FileRecord& record);

// Reads drives, folders, file records and names of toc into model (whose
// dataOffset and encoding are set already) and walks each drive's tree.
// Files get dataPos, sizes, storage, mtime, CRC and hashPos; blocks before
// the data are the layout's own business.
void readTocTables(FieldCursor& in, const TocHeader& toc, const TocShape& shape,
                   const RecordParser& parse, ArchiveModel& model, LogSink& log);

// One trace line per file, after the layout has set everything.
void traceFiles(const ArchiveModel& model, LogSink& log);

// A header name field of UTF-16 code units, up to its first zero, in the
// model's encoding.
std::string headerName(const std::vector<uint8_t>& field, TextEncoding encoding);

} // namespace sga
