#pragma once
// The readers of each layout family, behind readLayout. Each raises
// TocFailure on anything it cannot read; readLayout turns that into an error.

#include "archive/TocTables.h"

namespace sga {

ArchiveModel readV2Wide(FieldCursor& in, LogSink& log);
ArchiveModel readV4V5(FieldCursor& in, Layout layout, LogSink& log);
ArchiveModel readV6V7(FieldCursor& in, Layout layout, LogSink& log);
ArchiveModel readV8ToV10(FieldCursor& in, Layout layout, LogSink& log);

// The model's version, layout, encoding and file size; the version fields
// at bytes 8..11 must be there.
ArchiveModel startModel(FieldCursor& in, Layout layout, TextEncoding encoding);
// One line on the header fields the layout has read into model.
void traceHeader(const ArchiveModel& model, LogSink& log);

// Widths of each layout's tables.
TocShape shapeOf(Layout layout);
// Where version 5's form A keeps its ToC (absolute), read from the header.
int64_t v5TocAfterData(FieldCursor& in);

} // namespace sga
