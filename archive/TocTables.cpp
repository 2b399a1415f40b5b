#include "archive/TocTables.h"

#include "core/ActivityLog.h"
#include "core/Cp1252.h"
#include "core/FileReader.h"

#include <algorithm>
#include <array>
#include <limits>

namespace sga {

void failWith(ErrorCode code, std::string message) { throw TocFailure{code, std::move(message)}; }

std::string num(int64_t value) { return std::to_string(value); }

std::string hex32(uint32_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4) out[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return out;
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint64_t le64(const uint8_t* p) { return uint64_t{le32(p)} | uint64_t{le32(p + 4)} << 32; }

int64_t FieldCursor::size() const { return file_.size(); }

bool FieldCursor::holds(int64_t at, int64_t n) const {
    return at >= 0 && n >= 0 && at <= file_.size() && n <= file_.size() - at;
}

std::vector<uint8_t> FieldCursor::bytes(int64_t at, size_t n, std::string_view what) {
    if (!holds(at, static_cast<int64_t>(n)) || !file_.seek(at)) {
        failWith(ErrorCode::Truncated, "truncated archive: " + std::string(what) + " at offset " +
                                           num(at) + " needs " + num(static_cast<int64_t>(n)) +
                                           " bytes, the file ends at " + num(file_.size()));
    }
    std::vector<uint8_t> out(n);
    if (!file_.read(out.data(), n)) {
        failWith(ErrorCode::CannotOpen, "cannot read " + std::string(what) + " at offset " +
                                            num(at) + ": " + file_.error());
    }
    return out;
}

uint32_t FieldCursor::u32(int64_t at, std::string_view what) { return le32(bytes(at, 4, what).data()); }

TocHeader readTocHeader(FieldCursor& in, int64_t start, const TocShape& shape) {
    const auto b = in.bytes(start, static_cast<size_t>(shape.headerSize), "ToC header");
    TocHeader toc;
    toc.start = start;
    const size_t pair = shape.wideCounts ? 8 : 6;
    std::array<TocTable*, 4> tables{&toc.drives, &toc.folders, &toc.files, &toc.names};
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t* p = b.data() + i * pair;
        tables[i]->offset = le32(p);
        tables[i]->count = shape.wideCounts ? le32(p + 4) : le16(p + 4);
    }
    if (shape.headerSize == 40) {
        toc.hashOffset = le32(b.data() + 32);
        toc.blockSize = le32(b.data() + 36);
    } else if (shape.headerSize == 44) {
        toc.hashOffset = le32(b.data() + 32);
        toc.hashLength = le32(b.data() + 36);
        toc.blockSize = le32(b.data() + 40);
    }
    return toc;
}

bool tablesTile(const TocHeader& toc, const TocShape& shape) {
    struct Span { uint64_t begin, end; };
    std::array<Span, 3> spans{
        Span{toc.drives.offset, toc.drives.offset + uint64_t{toc.drives.count} * shape.driveSize()},
        Span{toc.folders.offset, toc.folders.offset + uint64_t{toc.folders.count} * shape.folderSize()},
        Span{toc.files.offset, toc.files.offset + uint64_t{toc.files.count} * shape.fileRecordSize}};
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
    });
    uint64_t next = static_cast<uint64_t>(shape.headerSize);
    for (const Span& s : spans) {
        if (s.begin != next) return false;
        next = s.end;
    }
    return toc.names.offset == next;
}

Storage storageOfFlag(uint32_t flag) {
    switch (flag) {
    case 0x00: return Storage::Stored;
    case 0x10: return Storage::ZlibStream;
    case 0x20: return Storage::ZlibBuffer;
    default: return Storage::Unknown;
    }
}

FileRecord parseRecordFrom4(const uint8_t* r) {
    FileRecord f;
    f.nameOffset = le32(r);
    f.dataOffset = le32(r + 4);
    f.storedSize = le32(r + 8);
    f.size = le32(r + 12);
    f.hasMtime = true;
    f.mtime = le32(r + 16);
    f.storageValue = r[21];
    f.storage = storageOfByte(r[21]);
    return f;
}

Storage storageOfByte(uint8_t value) {
    if (value >> 4) return Storage::Encrypted;
    switch (value) {
    case 0: return Storage::Stored;
    case 1: return Storage::ZlibStream;
    case 2: return Storage::ZlibBuffer;
    case 3: return Storage::BrotliStream;
    case 4: return Storage::BrotliBuffer;
    default: return Storage::Unknown;
    }
}

void applyVerification(uint8_t verification, uint32_t crc, bool blockHashes, FileRecord& record) {
    record.crc = crc;
    // Community tools write zero CRCs with verification 0: nothing to check then.
    record.crcKind = verification == 1 ? CrcKind::OfStoredBytes : CrcKind::None;
    if (!blockHashes) return;
    switch (verification) {
    case 2: record.blockHash = BlockHash::Crc32; break;
    case 3: record.blockHash = BlockHash::Md5; break;
    case 4: record.blockHash = BlockHash::Sha1; break;
    default: break;
    }
}

std::string headerName(const std::vector<uint8_t>& field, TextEncoding encoding) {
    std::string utf8;
    for (size_t i = 0; i + 1 < field.size(); i += 2) {
        const char32_t unit = le16(field.data() + i);
        if (unit == 0) break;
        appendUtf8(utf8, unit);   // surrogate halves as they are: names are shown, not trusted
    }
    return encoding == TextEncoding::Utf8 ? utf8 : utf8ToCp1252(utf8);
}

void traceFiles(const ArchiveModel& model, LogSink& log) {
    for (size_t i = 0; i < model.files.size(); ++i) {
        const ArchiveFile& f = model.files[i];
        std::string line = "File " + num(static_cast<int64_t>(i)) + ": " + f.path() + " at " +
                           num(f.dataPos) + ", stored " + num(f.storedSize) + ", size " +
                           num(f.size) + ", " + std::string(storageDescription(f.storage));
        if (f.storage == Storage::Encrypted || f.storage == Storage::Unknown)
            line += " (" + hex32(f.storageValue).substr(6) + ")";
        line += f.crcKind == CrcKind::None ? ", no crc" : ", crc " + hex32(f.crc);
        if (f.blockPos >= 0) line += ", block at " + num(f.blockPos);
        if (f.dataPos > model.fileSize || f.storedSize > model.fileSize - f.dataPos)
            line += ", its data lies past the end of the file";
        log.line(line);
    }
}

} // namespace sga
