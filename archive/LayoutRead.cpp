// readLayout: the reader a layout's row names, the parts readers share
// outside the ToC engine, and the one place their failures become an error.

#include "archive/LayoutParts.h"
#include "archive/LayoutReaders.h"

#include "core/ActivityLog.h"
#include "core/FileReader.h"

namespace sga {

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

int64_t tocStartOf(FieldCursor& in, const LayoutTraits& row) {
    return row.tocOffsetField < 0 ? row.headerSize : int64_t{in.u32(row.tocOffsetField, "ToC offset")};
}

Expected<ArchiveModel> readGuarded(FileReader& file, Layout layout, LogSink& log, LayoutBody body) {
    FieldCursor in(file);
    try {
        return body(in, traitsOf(layout), log);
    } catch (const TocFailure& failure) {
        log.line("Cannot read the archive: " + failure.message);
        return Status::error(failure.code, failure.message);
    } catch (const std::bad_alloc&) {
        return Status::error(ErrorCode::NoMemory, "not enough memory to read the archive's tables");
    }
}

Expected<ArchiveModel> readLayout(FileReader& file, Layout layout, LogSink& log) {
    const LayoutTraits& row = traitsOf(layout);
    if (row.read == nullptr) {
        return Status::error(ErrorCode::Unsupported,
                             "the " + std::string(row.name) + " layout has its own reader");
    }
    return row.read(file, layout, log);
}

} // namespace sga
