#pragma once
// Detecting and reading the layouts after the 17-byte one: version 2 with
// 20-byte file records, 4, 5 (both forms), 6, 7, 8, 9 and 10, each by the
// reader its row in the layout table names. A reader reads the whole model
// or fails with an error that names field, record and offset; none ever
// hands back half a model.

#include "archive/ArchiveModel.h"
#include "core/Status.h"

#include <optional>

namespace sga {

class FileReader;
class LogSink;

// Which layout the bytes of file are, from the detector facts of the layout
// table. Layout::V2Narrow for versions 1 and 2 with 17-byte file records
// and for every version no layout claims (0, 3, 11 and up). An error for what is recognised and refused (version 4.1,
// whose names are encrypted) or for a file too short to hold a header. The
// caller has checked the "_ARCHIVE" magic.
Expected<Layout> detectLayout(FileReader& file);

// Reads the archive in file (any position) as the given layout (not
// Layout::V2Narrow); writes a trace of its header fields and records to log.
Expected<ArchiveModel> readLayout(FileReader& file, Layout layout, LogSink& log);

} // namespace sga
