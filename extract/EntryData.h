#pragma once
// Reading one file entry of the open archive into memory: the 264-byte block
// before its bytes (logged), the stored bytes, and the inflate of a
// compressed entry.

#include "archive/ArchiveIndex.h"

#include <array>
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

// Results of readEntryData and DecompressBuffer other than 0.
enum EntryResult : int16_t {
    kEntryOk = 0,
    kEntryBadData = 1,           // not a valid zlib stream, or its checksum does not match
    kEntryShortOutput = 2,       // the stream ends before orgSize bytes
    kEntryTooLong = 3,           // the stream holds more than orgSize bytes
    kEntryImpossibleSize = 4,    // orgSize negative, or out of reach of the stored bytes
    kEntryTruncated = 5,         // the block or the stored bytes run past the end of the file
    kEntryBadSize = 6,           // stored size negative
    kEntryNoMemory = 7,
};
// What a nonzero result means, for a log line or a message.
std::string describeEntryResult(int result);

// Reads the entry whose 264-byte block starts at the archive's current
// position (the caller has moved it to entry.filePos). Result 0: buffer holds
// exactly the entry's bytes. Nonzero: the entry could not be read or
// inflated; buffer must be ignored. Writes the "decompressing ..." and
// "pad: ..." lines to log.
int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer = entryBuffer);

// The 264-byte block in front of an entry's stored bytes.
struct EntryBlock {
    std::string name;                 // cut at the first NUL
    std::array<uint8_t, 8> pad{};     // modification time, then CRC-32 of the entry's bytes
    uint32_t storedCrc() const {
        return uint32_t{pad[4]} | uint32_t{pad[5]} << 8 | uint32_t{pad[6]} << 16 |
               uint32_t{pad[7]} << 24;
    }
};
// As above, and also hands back the block (for checking the CRC it keeps).
int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock& block);

// The characters before the first NUL (all of them when there is none).
std::string trimAtNul(std::string_view text);

// The compression control: inflates the zlib stream in buffer, in place, to
// exactly orgSize bytes. 0 on success (stream complete, checksum valid, length
// exact); nonzero otherwise, buffer then undefined.
int32_t DecompressBuffer(std::vector<uint8_t>& buffer, int32_t orgSize);

// The largest size a zlib stream of storedSize bytes can inflate to.
int64_t maxInflatedSize(int64_t storedSize);

} // namespace sga
