#pragma once
// The one road for an entry's bytes. An EntryReader seeks to a file of the
// ArchiveModel, reads the block in front of its stored bytes (two lines to
// the log) when the layout has one, checks where the stored bytes lie, and
// decodes them as the file's storage says (stored, zlib, Brotli; encrypted
// and unknown storage refused) to exactly the recorded size.
//
// It decides by itself whether an entry is held whole or passed on in
// chunks, never allocates more than the stored bytes can produce (a
// declared size is a claim, not a reason to allocate), and takes its share
// of a MemoryBudget before it holds anything large, so the memory of a run
// does not grow with its number of jobs.

#include "archive/ArchiveModel.h"
#include "core/Status.h"
#include "extract/MemoryBudget.h"

#include <cstddef>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sga {

class FileReader;
class LogSink;

// Why a read failed (kept as the reason of its Status).
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

// A run of an entry's bytes handed to a streaming caller; false stops the
// read with kEntryStopped.
using ChunkSink = std::function<bool(const uint8_t* data, size_t size)>;

// An entry's bytes held in this thread's buffers (the stored bytes
// themselves for a stored entry). Valid while the object lives and until
// the thread's next read of an entry; holds its share of the budget.
class EntryBytes {
public:
    EntryBytes() = default;
    EntryBytes(EntryBytes&& other) noexcept;
    EntryBytes& operator=(EntryBytes&& other) noexcept;
    ~EntryBytes();
    // Gives the budget share back now and leaves the bytes where they are
    // until the thread's next read (for callers of the older interface).
    void keepUntilNextRead();
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    friend struct EntryReaderRun;
    friend class EntryReader;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool trims_ = false;
    BudgetLease lease_;
};

class EntryReader {
public:
    // Reads through archive (a handle of the caller's; the reader moves it)
    // and logs each entry's block lines to log.
    EntryReader(FileReader& archive, LogSink& log, MemoryBudget& budget = MemoryBudget::shared());

    // The number of bytes a whole read of file gives when it succeeds.
    static int64_t decodedSize(const ArchiveFile& file);
    // True when file is held whole rather than streamed: its size and its
    // stored size are within the in-memory limit.
    static bool holdsWhole(const ArchiveFile& file);

    // The whole entry. Refused with kEntryTooLarge when it would take more
    // than the in-memory limit to hold.
    Expected<EntryBytes> read(const ArchiveFile& file);
    // The whole entry into out, refused with kEntryTooLarge above limit
    // bytes (none by default; memory still grows only as the stored bytes
    // produce it). out is left empty on failure.
    Status read(const ArchiveFile& file, std::vector<uint8_t>& out, int64_t limit = INT64_MAX - 1);
    // The first n decoded bytes (all of them when the entry is shorter),
    // reading and decoding no more than they need. When n covers the whole
    // entry this is read(); otherwise damage past the first n bytes goes
    // unnoticed, while the block, the bounds and the storage are checked as
    // for read().
    Expected<EntryBytes> readHead(const ArchiveFile& file, size_t n);
    // Every byte, in order, to onBytes, and the stored bytes to onStored
    // (may be empty): in one piece when the entry is held whole, else in
    // chunks of at most a few hundred KiB. A failure may come after some
    // chunks were delivered (the caller discards what it got); memory stays
    // bounded whatever the entry's size.
    Status stream(const ArchiveFile& file, const ChunkSink& onBytes, const ChunkSink& onStored = {});

    // The block of the entry last read (present false when it has none).
    const EntryBlock& block() const { return block_; }
    // The reason of the last read: kEntryOk after a success.
    EntryResult result() const { return result_; }

private:
    friend struct EntryReaderRun;
    Status finish(const ArchiveFile& file, int16_t result);

    FileReader& archive_;
    LogSink& log_;
    MemoryBudget& budget_;
    EntryBlock block_;
    EntryResult result_ = kEntryOk;
};

// The largest size a zlib stream of storedSize bytes can inflate to.
int64_t maxInflatedSize(int64_t storedSize);

// Entries above this size are not held whole: streaming reads pass them on
// in chunks and whole reads refuse them; tests lower it.
int64_t inMemoryLimit();
void setInMemoryLimit(int64_t bytes);

// The largest buffer this thread has held for an entry since the last call
// (which starts the count again): what a read really allocated.
int64_t takeLargestThreadBuffer();

} // namespace sga
