// Which layout an archive is: the version says most of it; version 2 (17 or
// 20-byte file records) and version 5 (ToC after the data or 32-bit counts)
// are told apart by which widths the ToC header's offsets agree with.

#include "archive/LayoutParts.h"
#include "archive/LayoutReaders.h"

#include "core/FileReader.h"

namespace sga {
namespace {

bool tilesAt(FieldCursor& in, int64_t start, const TocShape& shape) {
    if (!in.holds(start, shape.headerSize)) return false;
    return tablesTile(readTocHeader(in, start, shape), shape);
}

Layout versionTwo(FieldCursor& in) {
    const TocShape wide = shapeOf(Layout::V2Wide);
    const TocShape narrow = shapeOf(Layout::V2Narrow);
    in.bytes(180, static_cast<size_t>(wide.headerSize), "version 2 ToC header");
    // With no files both widths agree: the reader of 17-byte records keeps those.
    return tilesAt(in, 180, wide) && !tilesAt(in, 180, narrow) ? Layout::V2Wide : Layout::V2Narrow;
}

Layout versionFive(FieldCursor& in) {
    in.bytes(0, 196, "version 5 header");
    if (tilesAt(in, v5TocAfterData(in), shapeOf(Layout::V5A))) return Layout::V5A;
    if (tilesAt(in, 184, shapeOf(Layout::V5B))) return Layout::V5B;
    failWith(ErrorCode::BadField,
             "version 5 archive: neither the ToC at the offset in the header field at 180 (" +
                 num(v5TocAfterData(in)) + ") nor one at 184 with 32-bit counts fits its tables");
}

Layout detect(FieldCursor& in) {
    const auto version = in.bytes(8, 4, "version");
    const uint16_t major = le16(version.data());
    const uint16_t minor = le16(version.data() + 2);
    switch (major) {
    case 2: return versionTwo(in);
    case 4:
        if (minor == 1) {
            failWith(ErrorCode::Unsupported,
                     "version 4.1 archives encrypt their names; they cannot be read");
        }
        return Layout::V4;
    case 5: return versionFive(in);
    case 6: return Layout::V6;
    case 7: return Layout::V7;
    case 8: return Layout::V8;
    case 9: return Layout::V9;
    case 10: return Layout::V10;
    default: return Layout::V2Narrow;   // 1, and what no later layout claims
    }
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
