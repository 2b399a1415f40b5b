// Entry reading and inflate on arbitrary bytes. The input is loaded as an
// archive and every file entry (up to a cap) is read the way the previews
// and the extraction read it; an input the loader refuses is instead taken
// as a 4-byte original size followed by a zlib stream. Either way the result
// is the entry's exact bytes or a nonzero code, never a fault, and never an
// allocation beyond what the stored bytes can inflate to.

#include "core/FileReader.h"
#include "core/ReportSink.h"
#include "archive/modSGA.h"
#include "extract/EntryData.h"
#include "fuzz/FuzzSupport.h"
#include "core/ActivityLog.h"

#include <vector>

namespace {

constexpr size_t kMaxEntries = 64;

void checkResult(int result) {
    if (result != 0) FUZZ_CHECK(!sga::describeEntryResult(result).empty());
}

void readEveryEntry(const sga::ArchiveIndex& index, const std::filesystem::path& path) {
    using namespace sga;
    NullLog log;
    std::vector<uint8_t> buffer;
    size_t read = 0;
    for (size_t i = static_cast<size_t>(index.dirCount());
         i < index.entries.size() && read < kMaxEntries; ++i, ++read) {
        const FileEntry& entry = index.entries[i];
        FileReader archive;
        FUZZ_CHECK(archive.open(path));
        if (!archive.seek(entry.filePos)) continue;
        EntryBlock block;
        const int16_t result = readEntryData(entry, archive, log, buffer, block);
        checkResult(result);
        if (result != 0) continue;
        const int64_t expected = entry.null ? int64_t{entry.orgSize} : int64_t{entry.compSize} + 1;
        FUZZ_CHECK(static_cast<int64_t>(buffer.size()) == expected);
        FUZZ_CHECK(block.name.find('\0') == std::string::npos && block.name.size() <= 256);
    }
}

void inflateRaw(const uint8_t* data, size_t size) {
    if (size < 4) return;
    const auto orgSize = static_cast<int32_t>(uint32_t{data[0]} | uint32_t{data[1]} << 8 |
                                              uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24);
    std::vector<uint8_t> buffer(data + 4, data + size);
    const int64_t stored = static_cast<int64_t>(buffer.size());
    const int32_t result = sga::DecompressBuffer(buffer, orgSize);
    checkResult(result);
    if (result == 0) {
        FUZZ_CHECK(static_cast<int64_t>(buffer.size()) == orgSize);
        FUZZ_CHECK(orgSize <= sga::maxInflatedSize(stored));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sga;
    const auto& path = fuzz::inputFile().write(data, size);
    ArchiveIndex index;
    ArchiveTree tree;
    NullLog log;
    ReportSink host;
    if (openArchive(path, index, tree, log, host)) {
        readEveryEntry(index, path);
    } else {
        inflateRaw(data, size);
    }
    return 0;
}
