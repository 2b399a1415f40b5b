// Which layout an archive is, from the facts in the layout table: the major
// version names the rows that may read it; where several rows share it
// (version 2 with 17 or 20-byte file records, version 5 with its ToC after
// the data or with 32-bit counts), the first whose tables fit its widths wins.

#include "archive/LayoutParts.h"
#include "archive/LayoutReaders.h"

#include "core/FileReader.h"

#include <algorithm>
#include <vector>

namespace sga {
namespace {

// The bytes the detector needs before it can tell the row's tables: its
// header, and its ToC header when that follows.
int64_t probeSize(const LayoutTraits& row) {
    return row.tocOffsetField < 0 ? row.headerSize + row.shape.headerSize : row.headerSize;
}

bool tablesFit(FieldCursor& in, const LayoutTraits& row) {
    const int64_t start = tocStartOf(in, row);
    if (!in.holds(start, row.shape.headerSize)) return false;
    return tablesTile(readTocHeader(in, start, row.shape), row.shape);
}

const LayoutTraits& fallbackRow() {
    for (const LayoutTraits& row : layoutTable()) {
        if (row.fallback) return row;
    }
    return layoutTable().front();
}

std::string tried(FieldCursor& in, const std::vector<const LayoutTraits*>& rows) {
    std::string out;
    for (const LayoutTraits* row : rows) {
        out += (out.empty() ? "" : "; ") + std::string(row->name) + ": the ToC at " +
               num(tocStartOf(in, *row));
        if (row->tocOffsetField >= 0) out += " (the header field at " + num(row->tocOffsetField) + ")";
    }
    return out;
}

Layout detect(FieldCursor& in) {
    const auto version = in.bytes(8, 4, "version");
    const uint16_t major = le16(version.data());
    const uint16_t minor = le16(version.data() + 2);
    std::vector<const LayoutTraits*> rows;
    for (const LayoutTraits& row : layoutTable()) {
        if (row.major != major) continue;
        if (!row.refusal.empty() && row.refusedMinor == minor)
            failWith(ErrorCode::Unsupported, std::string(row.refusal));
        rows.push_back(&row);
    }
    if (rows.empty()) return fallbackRow().layout;
    if (rows.size() == 1) return rows.front()->layout;

    int64_t needed = probeSize(*rows.front());
    for (const LayoutTraits* row : rows) needed = std::min(needed, probeSize(*row));
    in.bytes(0, static_cast<size_t>(needed), "version " + num(major) + " header and ToC header");
    for (const LayoutTraits* row : rows) {
        if (tablesFit(in, *row)) return row->layout;
    }
    for (const LayoutTraits* row : rows) {
        if (row->fallback) return row->layout;
    }
    failWith(ErrorCode::BadField,
             "version " + num(major) + " archive: no layout's tables fit (" + tried(in, rows) + ")");
}

} // namespace

Expected<Layout> detectLayout(FileReader& file) {
    FieldCursor in(file);
    try {
        return detect(in);
    } catch (const TocFailure& failure) {
        return Status::error(failure.code, failure.message);
    }
}

} // namespace sga
