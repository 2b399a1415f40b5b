#pragma once
// Reading one file entry of the open archive into memory: the 264-byte block
// before its bytes (logged), the stored bytes, and the inflate of a
// compressed entry.

#include "archive/ArchiveIndex.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

class FileReader;
class LogSink;

// The bytes of the entry last read by readEntryData (the window's callers
// share this one buffer; parallel work passes buffers of its own).
extern std::vector<uint8_t> entryBuffer;

// Reads the entry whose 264-byte block starts at the archive's current
// position (the caller has moved it to entry.filePos). Result 0: buffer holds
// exactly the entry's bytes. Nonzero: the entry could not be read or
// inflated; buffer must be ignored. Writes the "decompressing ..." and
// "pad: ..." lines to log.
int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer = entryBuffer);

// The characters before the first NUL (all of them when there is none).
std::string trimAtNul(std::string_view text);

// The compression control: inflates the zlib stream in buffer, in place, to
// exactly orgSize bytes. 0 on success (stream complete, checksum valid, length
// exact); nonzero otherwise, buffer then undefined.
int32_t DecompressBuffer(std::vector<uint8_t>& buffer, int32_t orgSize);

} // namespace sga
