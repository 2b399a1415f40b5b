#pragma once
// One side of "sga diff": an archive of any layout or a folder on disk,
// seen as the same list of entries (paths in the archive's form: "\"
// between parts, UTF-8) whose decoded bytes can be read.

#include "archive/ArchiveOpen.h"
#include "core/Status.h"
#include "extract/EntryData.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sga::cli {

struct SideEntry {
    std::string path;              // UTF-8, "\" between parts
    std::string key;               // the path folded: compared across sides
    int64_t size = 0;              // decoded size
    std::optional<uint32_t> crc;   // CRC-32 of the decoded bytes, when the record says it
    size_t index = 0;              // archive: into model.files; folder: into the file list
};

class DiffSide {
public:
    // An archive, or a folder when path names one.
    static Expected<std::unique_ptr<DiffSide>> open(const std::string& path);

    const std::string& label() const { return label_; }
    const std::vector<SideEntry>& entries() const { return entries_; }
    // Keeps only the entries at these indexes into entries(), in order.
    void keep(const std::vector<size_t>& indexes);

    // Reads entries for one thread.
    class Reader {
    public:
        virtual ~Reader() = default;
        // The entry's bytes in order, whole or in chunks (feed's rules).
        virtual Status feed(const SideEntry& entry, const ChunkSink& consumer) = 0;
        // The whole entry; refused above the in-memory limit.
        Status readWhole(const SideEntry& entry, std::vector<uint8_t>& out);
    };
    Expected<std::unique_ptr<Reader>> reader() const;

private:
    std::string label_;
    std::vector<SideEntry> entries_;
    std::optional<OpenedArchive> archive_;
    std::filesystem::path folder_;
    std::vector<std::filesystem::path> files_;   // folder side: relative paths
};

} // namespace sga::cli
