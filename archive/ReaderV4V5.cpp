// Versions 4 and 5: the version 2 header (MD5s, UTF-16 name, ToC size, data
// offset) followed by a platform word, 22-byte file records with mtime,
// verification and storage bytes, and a 260-byte block (name and a CRC)
// before each file's data. Version 5 comes in two forms: A keeps its ToC
// after the data and says where in the header; B has the 32-bit counts and
// wider drives and folders of version 6.

#include "archive/LayoutParts.h"

#include "core/ActivityLog.h"

namespace sga {
namespace {

constexpr int64_t kBlockSize = 260;
constexpr int64_t kBlockNameSize = 256;

// The CRC in the block before each file's data; what it covers is not
// settled, so either the stored or the decompressed bytes may match it.
void applyBlocks(FieldCursor& in, ArchiveModel& m) {
    for (size_t i = 0; i < m.files.size(); ++i) {
        ArchiveFile& f = m.files[i];
        const int64_t at = f.dataPos - kBlockSize;
        if (at < 0 || !in.holds(at, kBlockSize)) continue;   // listed; extraction refuses it
        f.blockPos = at;
        f.blockSize = kBlockSize;
        f.blockNameSize = kBlockNameSize;
        f.crcKind = CrcKind::OfEither;
        f.crc = in.u32(at + kBlockNameSize, "block CRC of file record " + num(static_cast<int64_t>(i)));
    }
}

ArchiveModel readArchive(FieldCursor& in, const LayoutTraits& row, LogSink& log) {
    const Layout layout = row.layout;
    ArchiveModel m = startModel(in, layout, TextEncoding::Cp1252);
    const auto head = in.bytes(0, 184, "version 4 or 5 header");
    m.name = headerName(std::vector<uint8_t>(head.begin() + 28, head.begin() + 156), m.encoding);
    m.tocSize = le32(head.data() + 172);
    m.dataOffset = le32(head.data() + 176);
    m.tocOffset = tocStartOf(in, row);
    traceHeader(m, log);
    if (layout != Layout::V5A) log.line("Platform: " + num(le32(head.data() + 180)));

    const TocHeader toc = readTocHeader(in, m.tocOffset, row.shape);
    readTocTables(in, toc, row.shape, parseRecordFrom4, m, log);
    applyBlocks(in, m);
    traceFiles(m, log);
    return m;
}

} // namespace

Expected<ArchiveModel> readV4V5(FileReader& file, Layout layout, LogSink& log) {
    return readGuarded(file, layout, log, readArchive);
}

} // namespace sga
