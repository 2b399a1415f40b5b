#pragma once
// The one road for an entry's bytes: seek, read the block before the stored
// bytes (logged) when the layout has one, read the stored bytes, check their
// bounds, decode them (zlib or Brotli) to exactly the recorded size.
// Preview, extraction, verification and the command line all come here.

#include "archive/ArchiveIndex.h"
#include "archive/ArchiveModel.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sga {

class FileReader;
class LogSink;

// The bytes of the entry last read by readEntryData (the window's callers
// share this one buffer; parallel work passes buffers of its own).
extern std::vector<uint8_t> entryBuffer;

// Results of reading an entry other than 0.
enum EntryResult : int16_t {
    kEntryOk = 0,
    kEntryBadData = 1,           // not a valid zlib stream, or its checksum does not match
    kEntryShortOutput = 2,       // the stream ends before the recorded size
    kEntryTooLong = 3,           // the stream holds more than the recorded size
    kEntryImpossibleSize = 4,    // size negative, or out of reach of the stored bytes
    kEntryTruncated = 5,         // the block or the stored bytes run past the end of the file
    kEntryBadSize = 6,           // stored size negative
    kEntryNoMemory = 7,
    kEntryEncrypted = 8,         // the stored bytes are encrypted
    kEntryUnknownStorage = 9,    // a storage method the program does not know
    kEntryBadBrotli = 10,        // not a valid Brotli stream
    kEntryTooLarge = 11,         // larger than can be held in memory at once
    kEntryOutside = 12,          // the block or the stored bytes begin outside the file
    kEntryStopped = 13,          // a chunk callback refused the bytes (its caller knows why)
};
// What a nonzero result means, for a log line or a message.
std::string describeEntryResult(int result);
// The same for one file, naming where its data lies when that is the fault.
std::string describeEntryFailure(const ArchiveFile& file, int result);

// The block in front of an entry's stored bytes: a NUL-padded name, then
// (in every layout that has one) fields that end in the CRC-32.
struct EntryBlock {
    std::string name;                 // cut at the first NUL
    std::vector<uint8_t> pad;         // the bytes after the name field
    bool present = false;
    // The CRC-32 in the block's last four bytes; 0 when there is none.
    uint32_t storedCrc() const;
};

// Reads the block (when the file has one; its two log lines) and the stored
// bytes of file without a copy: *stored points at them in this thread's
// scratch buffer, valid until the thread's next entry read. 0 or a nonzero
// EntryResult.
int16_t readStoredInPlace(const ArchiveFile& file, FileReader& archive, LogSink& log,
                          const uint8_t** stored, EntryBlock& block);

// Decodes stored bytes as file's storage says into out: exactly file.size bytes.
int16_t decodeStoredBytes(const ArchiveFile& file, const uint8_t* stored, size_t storedSize,
                          std::vector<uint8_t>& out);

// Both steps: buffer holds exactly the file's bytes on 0.
int16_t readFileBytes(const ArchiveFile& file, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock* block = nullptr);

// A run of an entry's bytes handed to a streaming caller; false stops the
// read with kEntryStopped.
using ChunkSink = std::function<bool(const uint8_t* data, size_t size)>;

// The same road as readFileBytes in pieces of at most a few MiB, for
// entries too large to hold whole: the block and its log lines first, then
// the stored bytes in file order to onStored (may be empty) and the decoded
// bytes in order to onBytes. Decoding checks exactly as readFileBytes does
// (size, stream end, checksum), so a nonzero result may come after some
// chunks were delivered: the caller discards what it got. Memory stays
// bounded whatever the entry's size.
int16_t streamFileBytes(const ArchiveFile& file, FileReader& archive, LogSink& log,
                        const ChunkSink& onStored, const ChunkSink& onBytes,
                        EntryBlock* block = nullptr);

// True when callers that can stream should stream file rather than read it whole.
bool streamsEntry(const ArchiveFile& file);

// As readFileBytes without a copy: *bytes points at the file's *size bytes
// in this thread's own buffers (the stored bytes themselves when the file is
// stored), valid until the thread's next entry read.
int16_t readFileBytesInPlace(const ArchiveFile& file, FileReader& archive, LogSink& log,
                             const uint8_t** bytes, size_t* size, EntryBlock* block = nullptr);
// The decoding step of it, over stored bytes already read.
int16_t decodeInPlace(const ArchiveFile& file, const uint8_t* stored, size_t storedSize,
                      const uint8_t** bytes, size_t* size);

// The entry of the version 1 and 2 index whose 264-byte block starts at the
// archive's current position (the caller has moved it to entry.filePos).
int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer = entryBuffer);
int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock& block);

// Inflates the zlib stream in buffer, in place, to exactly orgSize bytes. 0 on
// success (stream complete, checksum valid, length exact); nonzero otherwise,
// buffer then undefined.
int32_t DecompressBuffer(std::vector<uint8_t>& buffer, int32_t orgSize);

// The largest size a zlib stream of storedSize bytes can inflate to.
int64_t maxInflatedSize(int64_t storedSize);

// Entries above this size are not read whole into memory by callers that can
// stream (extraction, verification, cat); tests lower it.
int64_t inMemoryLimit();
void setInMemoryLimit(int64_t bytes);

} // namespace sga
