#pragma once
// The check every layout reader gets: the detector and the reader it picks,
// then each reader of the target's family directly, on the same bytes. A
// refusal carries a message; a model hands back links that hold together.

#include "archive/LayoutReaders.h"
#include "core/ActivityLog.h"
#include "core/FileReader.h"
#include "fuzz/FuzzSupport.h"

#include <initializer_list>

namespace sga::fuzz {

inline void checkModel(const Expected<ArchiveModel>& read) {
    if (!read) {
        FUZZ_CHECK(!read.message().empty());
        return;
    }
    const ArchiveModel& m = *read;
    for (size_t i = 0; i < m.folders.size(); ++i) {
        FUZZ_CHECK(m.folders[i].parent >= -1 && m.folders[i].parent < static_cast<int32_t>(i));
        FUZZ_CHECK(m.folders[i].drive >= 0 && static_cast<size_t>(m.folders[i].drive) < m.drives.size());
    }
    for (const ArchiveDrive& d : m.drives) FUZZ_CHECK(d.rootFolder >= -1 && d.rootFolder < m.folderCount());
    for (const ArchiveFile& f : m.files) {
        FUZZ_CHECK(f.folderIndex >= -1 && f.folderIndex < m.folderCount());
        FUZZ_CHECK(f.folderIndex < 0 ? f.folder.empty()
                                     : f.folder == m.folders[static_cast<size_t>(f.folderIndex)].path);
        FUZZ_CHECK(f.dataPos >= 0 && f.storedSize >= 0 && f.size >= 0);
        FUZZ_CHECK(f.blockPos < 0 || f.blockPos + f.blockSize <= m.fileSize);
    }
}

inline int fuzzLayouts(const uint8_t* data, size_t size, std::initializer_list<Layout> family) {
    const auto& path = inputFile().write(data, size);
    FileReader file;
    FUZZ_CHECK(file.open(path));
    NullLog log;
    const Expected<Layout> layout = detectLayout(file);
    if (!layout) {
        FUZZ_CHECK(!layout.message().empty());
    } else if (*layout != Layout::V2Narrow) {
        checkModel(readLayout(file, *layout, log));
    }
    for (Layout l : family) checkModel(readLayout(file, l, log));
    return 0;
}

} // namespace sga::fuzz
