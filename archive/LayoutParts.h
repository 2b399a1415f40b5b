#pragma once
// What the layout readers share outside the ToC engine. Inside a reader,
// failures are raised as TocFailure; readGuarded turns them into an error,
// so no reader lets one out.

#include "archive/LayoutTable.h"
#include "archive/TocTables.h"

namespace sga {

// The body of a reader: reads the whole model or raises TocFailure.
using LayoutBody = ArchiveModel (*)(FieldCursor& in, const LayoutTraits& row, LogSink& log);

// Runs body over file for layout; a failure is logged as one line and
// comes back as the error.
Expected<ArchiveModel> readGuarded(FileReader& file, Layout layout, LogSink& log, LayoutBody body);

// The model's version, layout, encoding and file size; the version fields
// at bytes 8..11 must be there.
ArchiveModel startModel(FieldCursor& in, Layout layout, TextEncoding encoding);
// One line on the header fields the layout has read into model.
void traceHeader(const ArchiveModel& model, LogSink& log);

// Where the row's ToC starts (absolute): after the header, or at the
// offset its header field holds.
int64_t tocStartOf(FieldCursor& in, const LayoutTraits& row);

} // namespace sga
