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

bool streamsEntry(const ArchiveFile& file) { return !EntryReader::holdsWhole(file); }

int16_t readFileBytesInPlace(const ArchiveFile& file, FileReader& archive, LogSink& log, const uint8_t** bytes,
                             size_t* size, EntryBlock* block) {
    EntryReader reader(archive, log);
    Expected<EntryBytes> read = reader.read(file);
    if (block) *block = reader.block();
    if (!read) return reader.result();
    read->keepUntilNextRead();
    *bytes = read->data();
    *size = read->size();
    return kEntryOk;
}

int16_t streamFileBytes(const ArchiveFile& file, FileReader& archive, LogSink& log, const ChunkSink& onStored,
                        const ChunkSink& onBytes, EntryBlock* block) {
    EntryReader reader(archive, log);
    static_cast<void>(reader.stream(file, onBytes, onStored));
    if (block) *block = reader.block();
    return reader.result();
}

} // namespace sga
