// Version 2 with 20-byte file records. Whether a block (name, mtime and CRC
// of the bytes) stands before each file's data, and whether its name field
// is 256 or 260 bytes, differs between packers and is not recorded: it is
// found out once per archive from the names in front of the files' data.

#include "archive/LayoutParts.h"

#include "core/ActivityLog.h"

#include <algorithm>
#include <cctype>

namespace sga {
namespace {

FileRecord parseRecord(const uint8_t* r) {
    FileRecord f;
    f.nameOffset = le32(r);
    f.storageValue = le32(r + 4);
    f.storage = storageOfFlag(f.storageValue);
    f.dataOffset = le32(r + 8);
    f.storedSize = le32(r + 12);
    f.size = le32(r + 16);
    return f;
}

struct BlockKind {
    int size;       // 264 or 268
    int nameSize;   // 256 or 260
};

bool sameName(const std::vector<uint8_t>& field, const std::string& name) {
    if (name.empty() || name.size() >= field.size() || field[name.size()] != 0) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(field[i])) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

// How many files show their name in a block of this kind before their data,
// of how many whose block would lie inside the data area.
std::pair<int64_t, int64_t> blockMatches(FieldCursor& in, const ArchiveModel& m, BlockKind kind) {
    int64_t found = 0, checked = 0;
    for (const ArchiveFile& f : m.files) {
        const int64_t at = f.dataPos - kind.size;
        if (at < m.dataOffset || !in.holds(at, kind.nameSize)) continue;
        ++checked;
        if (sameName(in.bytes(at, static_cast<size_t>(kind.nameSize), "block name"), f.name)) ++found;
    }
    return {found, checked};
}

void applyBlocks(FieldCursor& in, ArchiveModel& m, LogSink& log) {
    const BlockKind kinds[] = {{264, 256}, {268, 260}};
    const BlockKind* chosen = nullptr;
    int64_t best = 0;
    for (const BlockKind& kind : kinds) {
        const auto [found, checked] = blockMatches(in, m, kind);
        log.line("Blocks of " + num(kind.size) + " bytes: the name stands before " + num(found) +
                 " of " + num(checked) + " files");
        // Most files must agree: one broken entry does not decide for the archive.
        if (found > best && found * 2 > checked) {
            best = found;
            chosen = &kind;
        }
    }
    log.line(chosen ? "Each file's data follows a block of " + num(chosen->size) + " bytes"
                    : std::string("No block before the files' data"));
    if (!chosen) return;
    for (size_t i = 0; i < m.files.size(); ++i) {
        ArchiveFile& f = m.files[i];
        const int64_t at = f.dataPos - chosen->size;
        if (at < 0 || !in.holds(at, chosen->size)) continue;   // listed; extraction refuses it
        const auto tail = in.bytes(at + chosen->nameSize, 8, "block of file record " + num(static_cast<int64_t>(i)));
        f.blockPos = at;
        f.blockSize = chosen->size;
        f.blockNameSize = chosen->nameSize;
        f.hasMtime = true;
        f.mtime = le32(tail.data());
        f.crcKind = CrcKind::OfBytes;
        f.crc = le32(tail.data() + 4);
    }
}

ArchiveModel readArchive(FieldCursor& in, const LayoutTraits& row, LogSink& log) {
    ArchiveModel m = startModel(in, row.layout, TextEncoding::Cp1252);
    const auto head = in.bytes(0, static_cast<size_t>(row.headerSize), "version 2 header");
    m.name = headerName(std::vector<uint8_t>(head.begin() + 28, head.begin() + 156), m.encoding);
    m.tocSize = le32(head.data() + 172);
    m.dataOffset = le32(head.data() + 176);
    m.tocOffset = tocStartOf(in, row);
    m.hasHeaderSignatures = true;
    std::copy(head.begin() + 12, head.begin() + 28, m.dataSignature.begin());
    std::copy(head.begin() + 156, head.begin() + 172, m.tocSignature.begin());
    m.signedFrom = row.headerSize;
    traceHeader(m, log);

    const TocHeader toc = readTocHeader(in, m.tocOffset, row.shape);
    readTocTables(in, toc, row.shape, parseRecord, m, log);
    applyBlocks(in, m, log);
    traceFiles(m, log);
    return m;
}

} // namespace

Expected<ArchiveModel> readV2Wide(FileReader& file, Layout layout, LogSink& log) {
    return readGuarded(file, layout, log, readArchive);
}

} // namespace sga
