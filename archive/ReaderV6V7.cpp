// Versions 6 and 7: a 152-byte header (UTF-16 name, ToC size, data offset)
// with the ToC right after it, UTF-8 names, and file records that carry a
// CRC-32 of the stored bytes; version 7 adds per-block hashes.

#include "archive/LayoutParts.h"

#include "core/ActivityLog.h"

namespace sga {
namespace {

FileRecord parseRecord(const uint8_t* r, bool blockHashes) {
    FileRecord f = parseRecordFrom4(r);
    applyVerification(r[20], le32(r + 22), blockHashes, f);
    if (blockHashes) f.hashOffset = le32(r + 26);
    return f;
}

ArchiveModel readArchive(FieldCursor& in, const LayoutTraits& row, LogSink& log) {
    ArchiveModel m = startModel(in, row.layout, TextEncoding::Utf8);
    const auto head = in.bytes(0, static_cast<size_t>(row.headerSize), "version 6 or 7 header");
    m.name = headerName(std::vector<uint8_t>(head.begin() + 12, head.begin() + 140), m.encoding);
    m.tocSize = le32(head.data() + 140);
    m.dataOffset = le32(head.data() + 144);
    m.tocOffset = tocStartOf(in, row);
    traceHeader(m, log);

    const bool blockHashes = row.layout == Layout::V7;
    const TocHeader toc = readTocHeader(in, m.tocOffset, row.shape);
    if (blockHashes) {
        m.hashBlockSize = toc.blockSize ? toc.blockSize : 32768;
        log.line("Block hashes at " + num(toc.hashOffset) + ", blocks of " + num(m.hashBlockSize) + " bytes");
    }
    readTocTables(in, toc, row.shape,
                  [blockHashes](const uint8_t* r) { return parseRecord(r, blockHashes); }, m, log);
    traceFiles(m, log);
    return m;
}

} // namespace

Expected<ArchiveModel> readV6V7(FileReader& file, Layout layout, LogSink& log) {
    return readGuarded(file, layout, log, readArchive);
}

} // namespace sga
