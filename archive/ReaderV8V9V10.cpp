// Versions 8, 9 and 10: the header says where the ToC and the data lie
// (64-bit from version 9) and carries a 256-byte signature; file records put
// the hash offset second, widen the data offset to 64 bits from version 9
// and drop the mtime in version 10.

#include "archive/LayoutParts.h"

#include "core/ActivityLog.h"

#include <limits>

namespace sga {
namespace {

FileRecord parseRecord(const uint8_t* r, Layout layout) {
    FileRecord f;
    f.nameOffset = le32(r);
    f.hashOffset = le32(r + 4);
    const uint8_t* p = r + 8;
    if (layout == Layout::V8) {
        f.dataOffset = le32(p);
        p += 4;
    } else {
        f.dataOffset = le64(p);
        p += 8;
    }
    f.storedSize = le32(p);
    f.size = le32(p + 4);
    p += 8;
    if (layout != Layout::V10) {
        f.hasMtime = true;
        f.mtime = le32(p);
        p += 4;
    }
    f.storageValue = p[1];
    f.storage = storageOfByte(p[1]);
    applyVerification(p[0], le32(p + 2), true, f);
    return f;
}

int64_t offsetField(uint64_t value, std::string_view field, int64_t at) {
    if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        failWith(ErrorCode::BadField, std::string(field) + " at offset " + num(at) + " is " +
                                          std::to_string(value) + ", beyond any file");
    }
    return static_cast<int64_t>(value);
}

ArchiveModel readArchive(FieldCursor& in, const LayoutTraits& row, LogSink& log) {
    const Layout layout = row.layout;
    ArchiveModel m = startModel(in, layout, TextEncoding::Utf8);
    const bool v8 = layout == Layout::V8;
    const auto head = in.bytes(0, static_cast<size_t>(row.headerSize), "version " + num(m.major) + " header");
    const uint8_t* h = head.data();
    m.name = headerName(std::vector<uint8_t>(head.begin() + 12, head.begin() + 140), m.encoding);
    uint64_t dataSize = 0;
    if (v8) {
        m.tocOffset = le32(h + 140);
        m.tocSize = le32(h + 144);
        m.dataOffset = le32(h + 148);
        dataSize = le32(h + 152);
    } else {
        m.tocOffset = offsetField(le64(h + 140), "ToC offset", 140);
        m.tocSize = le32(h + 148);
        m.dataOffset = offsetField(le64(h + 152), "data offset", 152);
        dataSize = le64(h + 160);
    }
    const size_t signatureAt = v8 ? 160 : 172;
    m.signature.assign(head.begin() + static_cast<std::ptrdiff_t>(signatureAt),
                       head.begin() + static_cast<std::ptrdiff_t>(signatureAt + 256));
    traceHeader(m, log);
    log.line("Data size: " + std::to_string(dataSize));

    const TocHeader toc = readTocHeader(in, m.tocOffset, row.shape);
    m.hashBlockSize = toc.blockSize ? toc.blockSize : 32768;
    log.line("Block hashes at " + num(toc.hashOffset) + " (" + num(toc.hashLength) +
             " bytes), blocks of " + num(m.hashBlockSize) + " bytes");
    readTocTables(in, toc, row.shape, [layout](const uint8_t* r) { return parseRecord(r, layout); }, m,
                  log);
    traceFiles(m, log);
    return m;
}

} // namespace

Expected<ArchiveModel> readV8ToV10(FileReader& file, Layout layout, LogSink& log) {
    return readGuarded(file, layout, log, readArchive);
}

} // namespace sga
