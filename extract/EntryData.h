#pragma once
// The version 1 and 2 interface to an entry's bytes: readEntryData fills the
// program-wide entryBuffer (or a caller's buffer) through the EntryReader,
// and DecompressBuffer inflates a zlib stream in place. Also the older
// per-file calls that Extract all still uses, as thin wrappers over the
// EntryReader; they go once it reads through the EntryReader itself.

#include "archive/ArchiveIndex.h"
#include "extract/EntryReader.h"

#include <cstdint>
#include <vector>

namespace sga {

// The bytes of the entry last read by readEntryData (the window's callers
// share this one buffer; parallel work passes buffers of its own).
extern std::vector<uint8_t> entryBuffer;

// The entry of the version 1 and 2 index whose 264-byte block starts at the
// archive's current position (the caller has moved it to entry.filePos).
// 0, or the EntryResult that says why not (buffer then empty).
int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer = entryBuffer);
int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock& block);

// Inflates the zlib stream in buffer, in place, to exactly orgSize bytes. 0 on
// success (stream complete, checksum valid, length exact); nonzero otherwise,
// buffer then undefined.
int32_t DecompressBuffer(std::vector<uint8_t>& buffer, int32_t orgSize);

} // namespace sga
