// readLayout: the reader of each layout, the parts they share outside the
// ToC engine, and the one place failures become an error.

#include "archive/LayoutParts.h"
#include "archive/LayoutReaders.h"

#include "core/ActivityLog.h"
#include "core/FileReader.h"

namespace sga {

TocShape shapeOf(Layout layout) {
    switch (layout) {
    case Layout::V2Wide: return {24, false, 20, false};
    case Layout::V4:
    case Layout::V5A: return {24, false, 22, false};
    case Layout::V5B: return {32, true, 22, false};
    case Layout::V6: return {32, true, 26, false};
    case Layout::V7: return {40, true, 30, false};
    case Layout::V8: return {44, true, 30, false};
    case Layout::V9: return {44, true, 34, true};
    case Layout::V10: return {44, true, 30, true};
    case Layout::V2Narrow: break;
    }
    return {24, false, 17, false};
}

ArchiveModel startModel(FieldCursor& in, Layout layout, TextEncoding encoding) {
    const auto version = in.bytes(8, 4, "version");
    ArchiveModel m;
    m.layout = layout;
    m.major = le16(version.data());
    m.minor = le16(version.data() + 2);
    m.encoding = encoding;
    m.fileSize = in.size();
    return m;
}

void traceHeader(const ArchiveModel& m, LogSink& log) {
    log.line("Archive version " + num(m.major) + "." + num(m.minor) + " (" +
             std::string(layoutName(m.layout)) + "), name \"" + m.name + "\", " + num(m.fileSize) +
             " bytes");
    log.line("ToC at " + num(m.tocOffset) + " (" + num(m.tocSize) + " bytes), data at " +
             num(m.dataOffset));
}

Expected<ArchiveModel> readLayout(FileReader& file, Layout layout, LogSink& log) {
    FieldCursor in(file);
    try {
        switch (layout) {
        case Layout::V2Wide: return readV2Wide(in, log);
        case Layout::V4:
        case Layout::V5A:
        case Layout::V5B: return readV4V5(in, layout, log);
        case Layout::V6:
        case Layout::V7: return readV6V7(in, layout, log);
        case Layout::V8:
        case Layout::V9:
        case Layout::V10: return readV8ToV10(in, layout, log);
        case Layout::V2Narrow: break;
        }
        return Status::error(ErrorCode::Unsupported,
                             "the version 1 and 2 layout with 17-byte records has its own reader");
    } catch (const TocFailure& failure) {
        log.line("Cannot read the archive: " + failure.message);
        return Status::error(failure.code, failure.message);
    } catch (const std::bad_alloc&) {
        return Status::error(ErrorCode::NoMemory, "not enough memory to read the archive's tables");
    }
}

} // namespace sga
