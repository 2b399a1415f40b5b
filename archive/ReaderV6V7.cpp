// Versions 6 and 7: a 152-byte header (UTF-16 name, ToC size, data offset)
// with the ToC right after it, UTF-8 names, and file records that carry a
// CRC-32 of the stored bytes; version 7 adds per-block hashes.

#include "archive/LayoutParts.h"

#include "core/ActivityLog.h"

namespace sga {
namespace {

constexpr int64_t kHeaderSize = 152;

FileRecord parseRecord(const uint8_t* r, bool blockHashes) {
    FileRecord f = parseRecordFrom4(r);
    applyVerification(r[20], le32(r + 22), blockHashes, f);
    if (blockHashes) f.hashOffset = le32(r + 26);
    return f;
}

} // namespace

ArchiveModel readV6V7(FieldCursor& in, Layout layout, LogSink& log) {
    ArchiveModel m = startModel(in, layout, TextEncoding::Utf8);
    const auto head = in.bytes(0, kHeaderSize, "version 6 or 7 header");
    m.name = headerName(std::vector<uint8_t>(head.begin() + 12, head.begin() + 140), m.encoding);
    m.tocSize = le32(head.data() + 140);
    m.dataOffset = le32(head.data() + 144);
    m.tocOffset = kHeaderSize;
    traceHeader(m, log);

    const bool blockHashes = layout == Layout::V7;
    const TocShape shape = shapeOf(layout);
    const TocHeader toc = readTocHeader(in, m.tocOffset, shape);
    if (blockHashes) {
        m.hashBlockSize = toc.blockSize ? toc.blockSize : 32768;
        log.line("Block hashes at " + num(toc.hashOffset) + ", blocks of " + num(m.hashBlockSize) + " bytes");
    }
    readTocTables(in, toc, shape, [blockHashes](const uint8_t* r) { return parseRecord(r, blockHashes); },
                  m, log);
    traceFiles(m, log);
    return m;
}

} // namespace sga
