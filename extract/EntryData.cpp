#include "extract/EntryData.h"

#include "archive/ArchiveOpen.h"
#include "core/FileReader.h"

namespace sga {

std::vector<uint8_t> entryBuffer;

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock& block) {
    EntryReader reader(archive, log);
    static_cast<void>(reader.read(fileOfEntry(entry, archive.tell()), buffer));
    block = reader.block();
    return reader.result();
}

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer) {
    EntryBlock block;
    return readEntryData(entry, archive, log, buffer, block);
}

} // namespace sga
