// Placeholder until the layout readers land: every archive goes to the
// specified loader.
#include "archive/LayoutReaders.h"
#include "core/FileReader.h"

namespace sga {
Expected<Layout> detectLayout(FileReader&) { return Layout::Specified; }
Expected<ArchiveModel> readLayout(FileReader&, Layout, LogSink&) {
    return Status::error(ErrorCode::Unsupported, "layout not readable yet");
}
} // namespace sga
