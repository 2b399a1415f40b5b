#include "extract/EntryReader.h"

#include "archive/ArchiveOpen.h"
#include "core/ActivityLog.h"
#include "core/FileReader.h"
#include "extract/EntryData.h"

#include <brotli/decode.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace sga {
namespace {

// Deflate's best case: a 258-byte match costs at least two bits.
constexpr int64_t kMaxDeflateRatio = 1032;
// The pieces a streamed entry moves in.
constexpr size_t kChunk = size_t{256} << 10;
// Brotli stored bytes up to this size are read with the block in one go.
constexpr int64_t kSmallStored = int64_t{256} << 10;
// What a Brotli decoder may allocate besides its output (its window).
constexpr int64_t kBrotliWindow = int64_t{16} << 20;
// Every thread keeps buffers up to this size between entries; larger ones
// only while all threads' kept buffers stay within kKeptPool together.
constexpr int64_t kAlwaysKept = kChunk;
constexpr int64_t kKeptPool = int64_t{32} << 20;

std::atomic<int64_t> memoryLimit{int64_t{64} << 20};
std::atomic<int64_t> keptLarge{0};
thread_local int64_t largestBuffer = 0;

// A thread's buffer that grows, keeps its memory between entries within
// the limits above and never zero-fills: one entry's bytes overwrite the
// last one's.
class ThreadBuffer {
public:
    ~ThreadBuffer() { release(); }

    // Room for size bytes, the first keep of them as they were; null when
    // memory runs out.
    uint8_t* reserve(int64_t size, size_t keep = 0) {
        if (size < 0) return nullptr;
        const auto wanted = static_cast<size_t>(std::max<int64_t>(size, 1));
        if (wanted <= capacity_ && data_) return data_;
        unpool();
        if (keep == 0) release();
        auto* grown = static_cast<uint8_t*>(std::realloc(data_, wanted));
        if (!grown) return nullptr;
        data_ = grown;
        capacity_ = wanted;
        largestBuffer = std::max(largestBuffer, static_cast<int64_t>(wanted));
        return data_;
    }
    size_t capacity() const { return capacity_; }

    // Gives back a large buffer unless the pool of kept buffers has room for it.
    void trim() {
        if (static_cast<int64_t>(capacity_) <= kAlwaysKept || pooled_) return;
        const auto size = static_cast<int64_t>(capacity_);
        int64_t now = keptLarge.load();
        while (now + size <= kKeptPool) {
            if (keptLarge.compare_exchange_weak(now, now + size)) {
                pooled_ = true;
                return;
            }
        }
        release();
    }

private:
    void unpool() {
        if (pooled_) keptLarge -= static_cast<int64_t>(capacity_);
        pooled_ = false;
    }
    void release() {
        unpool();
        std::free(data_);
        data_ = nullptr;
        capacity_ = 0;
    }

    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
    bool pooled_ = false;
};

ThreadBuffer& storedBuffer() {
    thread_local ThreadBuffer buffer;
    return buffer;
}

ThreadBuffer& decodedBuffer() {
    thread_local ThreadBuffer buffer;
    return buffer;
}

void trimThreadBuffers() {
    storedBuffer().trim();
    decodedBuffer().trim();
}

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor* threadDecompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor.get();
}

// ---------------------------------------------------------------- stored bytes in

// The stored bytes, either held whole (read with the block) or read from
// the archive in chunks; each piece also goes to onStored.
class Source {
public:
    Source(FileReader& archive, int64_t size, const ChunkSink& onStored)
        : archive_(archive), left_(size), onStored_(onStored) {}
    void hold(const uint8_t* whole) { whole_ = whole; }
    const uint8_t* whole() const { return whole_; }
    bool done() const { return left_ == 0 && delivered_; }

    // The next piece; 0 or a nonzero result (Truncated, Stopped, NoMemory).
    int16_t next(const uint8_t** data, size_t* size) {
        size_t n = 0;
        if (whole_) {
            *data = whole_;
            n = static_cast<size_t>(left_);
        } else {
            n = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(kChunk)));
            uint8_t* at = storedBuffer().reserve(static_cast<int64_t>(kChunk));
            if (!at) return kEntryNoMemory;
            if (!archive_.read(at, n)) return kEntryTruncated;
            *data = at;
        }
        left_ -= static_cast<int64_t>(n);
        delivered_ = true;
        *size = n;
        if (onStored_ && !onStored_(*data, n)) return kEntryStopped;
        return kEntryOk;
    }
    // The stored bytes after the end of the stream still count for onStored.
    int16_t drain() {
        const uint8_t* data = nullptr;
        size_t size = 0;
        while (onStored_ && !done())
            if (const int16_t r = next(&data, &size); r != kEntryOk) return r;
        return kEntryOk;
    }

private:
    FileReader& archive_;
    int64_t left_;
    bool delivered_ = false;
    const ChunkSink& onStored_;
    const uint8_t* whole_ = nullptr;
};

// ---------------------------------------------------------------- decoded bytes out

// Where decoded bytes go: a buffer that holds the entry (or its head), or
// chunks passed on to a caller.
class Sink {
public:
    virtual ~Sink() = default;
    // Room for the whole entry of size bytes in one piece, or null: with
    // *refusal 0 when the sink takes the bytes in pieces instead, else why
    // it cannot take them (no memory, too large).
    virtual uint8_t* exact(int64_t size, int16_t* refusal) = 0;
    // The size bytes asked for by exact are there.
    virtual bool acceptExact(int64_t size) = 0;
    // Room at the end for up to want bytes: *room of them, 0 when the sink
    // holds all it will. Null when memory runs out.
    virtual uint8_t* room(int64_t want, size_t* room) = 0;
    // n bytes were written at the room; false stops the read.
    virtual bool accept(size_t n) = 0;
    // Bytes that are already somewhere (stored bytes): no copy where
    // possible. 0, or why the sink does not take them.
    virtual int16_t view(const uint8_t* data, size_t n) = 0;
    // What filling the sink means: success for a head, too large otherwise.
    virtual int16_t whenFull() const = 0;
    // The memory the sink will hold for an entry of size bytes, given to it
    // in one piece (exact) or in pieces.
    virtual int64_t memoryFor(int64_t size, bool exact) const = 0;
};

// The room a growing buffer gets next: the whole rest when the stored
// bytes can plausibly produce it, else it doubles.
int64_t nextCapacity(int64_t capacity, int64_t needed, int64_t storedSize) {
    const int64_t first = std::max<int64_t>(int64_t{64} << 10, storedSize * 8);
    return std::min(needed, std::max(first, capacity * 2));
}

// A contiguous buffer of at most cap bytes: the whole entry or its head.
template <class Buffer>
class HoldingSink : public Sink {
public:
    HoldingSink(Buffer& buffer, int64_t cap, int64_t storedSize, bool isHead)
        : buffer_(buffer), cap_(cap), storedSize_(storedSize), isHead_(isHead) {}

    uint8_t* exact(int64_t size, int16_t* refusal) override {
        // A head is cut from pieces; a whole entry one byte short of the cap
        // is the most the cap lets through.
        *refusal = isHead_ ? kEntryOk : size >= cap_ ? kEntryTooLarge : kEntryNoMemory;
        if (*refusal != kEntryNoMemory) return nullptr;
        uint8_t* at = buffer_.reserve(size, 0);
        if (at) *refusal = kEntryOk;
        return at;
    }
    bool acceptExact(int64_t size) override {
        produced_ = size;
        return true;
    }
    uint8_t* room(int64_t want, size_t* room) override {
        const int64_t needed = want >= cap_ - produced_ ? cap_ : produced_ + want;
        if (needed <= produced_) {
            *room = 0;
            return buffer_.data();
        }
        // Grows only once full: a stream gets more room as it proves it needs it.
        if (static_cast<int64_t>(buffer_.capacity()) <= produced_) {
            const int64_t grown = nextCapacity(static_cast<int64_t>(buffer_.capacity()), needed, storedSize_);
            if (!buffer_.reserve(grown, static_cast<size_t>(produced_))) return nullptr;
        }
        *room = static_cast<size_t>(std::min<int64_t>(needed, static_cast<int64_t>(buffer_.capacity())) - produced_);
        return buffer_.data() + produced_;
    }
    bool accept(size_t n) override {
        produced_ += static_cast<int64_t>(n);
        return true;
    }
    int16_t view(const uint8_t* data, size_t n) override {
        if (!isHead_ && static_cast<int64_t>(n) >= cap_) return kEntryTooLarge;
        viewed_ = data;
        produced_ = std::min(static_cast<int64_t>(n), cap_);
        return kEntryOk;
    }
    int16_t whenFull() const override { return isHead_ ? kEntryOk : kEntryTooLarge; }
    int64_t memoryFor(int64_t size, bool) const override {
        return std::min(std::max<int64_t>(size, 0), cap_ - 1) + 1;
    }

    const uint8_t* data() { return viewed_ ? viewed_ : buffer_.data(); }
    int64_t produced() const { return produced_; }

private:
    Buffer& buffer_;
    int64_t cap_;
    int64_t storedSize_;
    bool isHead_;
    int64_t produced_ = 0;
    const uint8_t* viewed_ = nullptr;
};

// The thread's decoded buffer as a HoldingSink's buffer.
struct ThreadHolding {
    ThreadBuffer& buffer = decodedBuffer();
    uint8_t* reserve(int64_t size, size_t keep) { return buffer.reserve(size, keep); }
    uint8_t* data() { return buffer.reserve(0); }
    size_t capacity() const { return buffer.capacity(); }
};

// A caller's vector as a HoldingSink's buffer; growing it keeps its bytes.
struct VectorHolding {
    std::vector<uint8_t>& v;
    uint8_t* reserve(int64_t size, size_t) {
        try {
            v.resize(static_cast<size_t>(size));
        } catch (const std::exception&) {
            return nullptr;
        }
        return v.data();
    }
    uint8_t* data() { return v.data(); }
    size_t capacity() const { return v.size(); }
};

// Chunks to a caller; an entry held whole goes in one piece.
class ChunkingSink : public Sink {
public:
    ChunkingSink(const ChunkSink& onBytes, bool holds) : onBytes_(onBytes), holds_(holds) {}

    uint8_t* exact(int64_t size, int16_t* refusal) override {
        *refusal = kEntryOk;
        if (!holds_) return nullptr;
        uint8_t* at = decodedBuffer().reserve(size);
        if (!at) *refusal = kEntryNoMemory;
        return at;
    }
    bool acceptExact(int64_t size) override {
        return onBytes_(decodedBuffer().reserve(0), static_cast<size_t>(size));
    }
    uint8_t* room(int64_t want, size_t* room) override {
        uint8_t* at = decodedBuffer().reserve(static_cast<int64_t>(kChunk));
        *room = static_cast<size_t>(std::min<int64_t>(want, static_cast<int64_t>(kChunk)));
        at_ = at;
        return at;
    }
    bool accept(size_t n) override { return onBytes_(at_, n); }
    int16_t view(const uint8_t* data, size_t n) override { return onBytes_(data, n) ? kEntryOk : kEntryStopped; }
    int16_t whenFull() const override { return kEntryTooLarge; }
    int64_t memoryFor(int64_t size, bool exact) const override {
        return holds_ && exact ? std::max<int64_t>(size, 0) : static_cast<int64_t>(kChunk);
    }

private:
    const ChunkSink& onBytes_;
    bool holds_;
    uint8_t* at_ = nullptr;
};

// ---------------------------------------------------------------- the storage methods

// One byte past the recorded size tells a longer stream apart.
int64_t wantFrom(int64_t size, int64_t produced) {
    return size - produced < INT64_MAX ? size - produced + 1 : INT64_MAX;
}

int16_t passStored(const ArchiveFile&, Source& in, Sink& out) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    while (!in.done()) {
        if (const int16_t r = in.next(&data, &size); r != kEntryOk) return r;
        if (const int16_t r = out.view(data, size); r != kEntryOk) return r;
    }
    return kEntryOk;
}

int16_t inflateWhole(const ArchiveFile& file, Source& in, Sink& out, uint8_t* into) {
    libdeflate_decompressor* decompressor = threadDecompressor();
    if (!decompressor) return kEntryNoMemory;
    const uint8_t* stored = nullptr;
    size_t storedSize = 0;
    if (const int16_t r = in.next(&stored, &storedSize); r != kEntryOk) return r;
    // Without an "actual size" out-parameter libdeflate insists on exactly
    // size bytes and checks the Adler-32 at the stream's end.
    switch (libdeflate_zlib_decompress(decompressor, stored, storedSize, into, static_cast<size_t>(file.size),
                                       nullptr)) {
    case LIBDEFLATE_SUCCESS: return out.acceptExact(file.size) ? kEntryOk : kEntryStopped;
    case LIBDEFLATE_SHORT_OUTPUT: return kEntryShortOutput;
    case LIBDEFLATE_INSUFFICIENT_SPACE: return kEntryTooLong;
    default: return kEntryBadData;
    }
}

struct InflateGuard {
    z_stream* z;
    ~InflateGuard() { inflateEnd(z); }
};

int16_t inflateEntry(const ArchiveFile& file, Source& in, Sink& out) {
    if (file.size < 0 || file.size > maxInflatedSize(file.storedSize)) return kEntryImpossibleSize;
    if (in.whole()) {
        int16_t refusal = kEntryOk;
        if (uint8_t* into = out.exact(file.size, &refusal)) return inflateWhole(file, in, out, into);
        if (refusal != kEntryOk) return refusal;
    }
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return kEntryNoMemory;
    InflateGuard guard{&z};
    int64_t produced = 0;
    while (true) {
        size_t room = 0;
        uint8_t* at = out.room(wantFrom(file.size, produced), &room);
        if (!at) return kEntryNoMemory;
        if (room == 0) return out.whenFull();
        if (z.avail_in == 0) {
            // The stream has not ended and every stored byte has gone in.
            if (in.done()) return kEntryBadData;
            const uint8_t* data = nullptr;
            size_t size = 0;
            if (const int16_t r = in.next(&data, &size); r != kEntryOk) return r;
            z.next_in = const_cast<Bytef*>(data);
            z.avail_in = static_cast<uInt>(size);
        }
        z.next_out = at;
        z.avail_out = static_cast<uInt>(std::min<size_t>(room, UINT_MAX));
        const uInt before = z.avail_out;
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR) return r == Z_MEM_ERROR ? kEntryNoMemory : kEntryBadData;
        const size_t got = before - z.avail_out;
        if (produced + static_cast<int64_t>(got) > file.size) return kEntryTooLong;
        produced += static_cast<int64_t>(got);
        if (got > 0 && !out.accept(got)) return kEntryStopped;
        if (r == Z_STREAM_END) break;
    }
    if (produced < file.size) return kEntryShortOutput;
    return in.drain();
}

struct BrotliGuard {
    BrotliDecoderState* s;
    ~BrotliGuard() { BrotliDecoderDestroyInstance(s); }
};

// Output grows as the stream produces it: a size the stream does not reach
// costs no memory.
int16_t unbrotliEntry(const ArchiveFile& file, Source& in, Sink& out) {
    if (file.size < 0) return kEntryImpossibleSize;
    BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    if (!state) return kEntryNoMemory;
    BrotliGuard guard{state};
    const uint8_t* nextIn = nullptr;
    size_t availIn = 0;
    int64_t produced = 0;
    BrotliDecoderResult r = BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT;
    while (r != BROTLI_DECODER_RESULT_SUCCESS) {
        if (r == BROTLI_DECODER_RESULT_ERROR) return kEntryBadBrotli;
        if (r == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT && availIn == 0) {
            if (in.done()) return kEntryBadBrotli;
            if (const int16_t rc = in.next(&nextIn, &availIn); rc != kEntryOk) return rc;
        }
        size_t room = 0;
        uint8_t* at = out.room(wantFrom(file.size, produced), &room);
        if (!at) return kEntryNoMemory;
        if (room == 0) return out.whenFull();
        size_t availOut = room;
        r = BrotliDecoderDecompressStream(state, &availIn, &nextIn, &availOut, &at, nullptr);
        const size_t got = room - availOut;
        if (produced + static_cast<int64_t>(got) > file.size) return kEntryTooLong;
        produced += static_cast<int64_t>(got);
        if (got > 0 && !out.accept(got)) return kEntryStopped;
    }
    if (produced < file.size) return kEntryShortOutput;
    return in.drain();
}

// How one storage method reads.
struct Method {
    // The bytes are the stored bytes: a head is their prefix, nothing decodes.
    bool copies = false;
    // Read whole, the stored bytes decode in one piece into the sink.
    bool exactWhenWhole = false;
    // Read the stored bytes whole (with the block) rather than in chunks,
    // given that the sink holds the entry whole.
    bool (*readsWhole)(const ArchiveFile& file, bool sinkHolds) = nullptr;
    // Memory besides the stored bytes and the output.
    int64_t working = 0;
    int16_t (*decode)(const ArchiveFile& file, Source& in, Sink& out) = nullptr;
};

bool whenSinkHolds(const ArchiveFile&, bool sinkHolds) { return sinkHolds; }

// The one switch over the storage methods: the method, or why there is none.
int16_t methodFor(const ArchiveFile& file, Method* method) {
    switch (file.storage) {
    case Storage::Stored:
        *method = {true, false, whenSinkHolds, 0, passStored};
        return kEntryOk;
    case Storage::ZlibStream:
    case Storage::ZlibBuffer:
        *method = {false, true, whenSinkHolds, int64_t{64} << 10, inflateEntry};
        return kEntryOk;
    case Storage::BrotliStream:
    case Storage::BrotliBuffer:
        *method = {false, false, [](const ArchiveFile& f, bool) { return f.storedSize <= kSmallStored; },
                   std::clamp<int64_t>(file.size, 0, kBrotliWindow), unbrotliEntry};
        return kEntryOk;
    case Storage::Encrypted: return kEntryEncrypted;
    case Storage::Unknown: break;
    }
    return kEntryUnknownStorage;
}

// ---------------------------------------------------------------- the block

void logDecompressing(const ArchiveFile& file, const std::string& name, int64_t namePos, LogSink& log) {
    log("decompressing " + std::to_string(file.storedSize - 1) + ": " + name +
        " at pos: " + std::to_string(namePos + 1));
}

void logPad(const EntryBlock& block, LogSink& log) {
    std::string padLine = "pad: ";
    for (uint8_t byte : block.pad) padLine += std::to_string(byte) + " ";
    log(padLine);
}

// Where an entry's reading starts: its block, or its stored bytes when it
// has none.
struct EntrySpan {
    bool hasBlock;
    int64_t start;
    int64_t blockSize;
    int64_t nameSize;

    explicit EntrySpan(const ArchiveFile& file)
        : hasBlock(file.blockSize > 0),
          start(hasBlock ? file.blockPos : file.dataPos),
          blockSize(hasBlock ? file.blockSize : 0),
          nameSize(hasBlock ? std::clamp<int64_t>(file.blockNameSize, 0, blockSize) : 0) {}
};

// The one parse of the block: from bytes already read, or from the archive.
void parseBlock(const ArchiveFile& file, const EntrySpan& span, const uint8_t* bytes, EntryBlock& block,
                LogSink& log) {
    block.present = true;
    block.name = trimAtNul(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(span.nameSize)));
    block.pad.assign(bytes + span.nameSize, bytes + span.blockSize);
    logDecompressing(file, block.name, span.start + span.nameSize, log);
    logPad(block, log);
}

// Reads and logs the block alone, as far as the file holds it.
int16_t readBlock(const ArchiveFile& file, const EntrySpan& span, FileReader& archive, EntryBlock& block,
                  LogSink& log) {
    if (!span.hasBlock) {
        logDecompressing(file, file.name, file.dataPos, log);
        return kEntryOk;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(span.blockSize));
    const auto nameSize = static_cast<size_t>(span.nameSize);
    if (!archive.read(bytes.data(), nameSize)) return kEntryTruncated;
    if (!archive.read(bytes.data() + nameSize, bytes.size() - nameSize)) {
        // The name is there: its line is written before the pad fails.
        logDecompressing(file, trimAtNul(std::string_view(reinterpret_cast<const char*>(bytes.data()), nameSize)),
                         span.start + span.nameSize, log);
        return kEntryTruncated;
    }
    parseBlock(file, span, bytes.data(), block, log);
    return kEntryOk;
}

ErrorCode errorCodeOf(int16_t result) {
    switch (result) {
    case kEntryTruncated:
    case kEntryOutside: return ErrorCode::Truncated;
    case kEntryImpossibleSize:
    case kEntryBadSize: return ErrorCode::BadField;
    case kEntryNoMemory:
    case kEntryTooLarge: return ErrorCode::NoMemory;
    case kEntryEncrypted:
    case kEntryUnknownStorage: return ErrorCode::Unsupported;
    case kEntryStopped: return ErrorCode::Failed;
    default: return ErrorCode::BadData;
    }
}

// What a read is for.
enum class Purpose { Whole, Head, Stream };

} // namespace

// ---------------------------------------------------------------- the reader

struct EntryReaderRun {
    // One read of file into out (headBytes >= 0: only that many bytes are
    // wanted), the stored bytes to onStored; lease gets the read's share of
    // the budget.
    static int16_t run(EntryReader& r, const ArchiveFile& file, Sink& out, bool sinkHolds, int64_t headBytes,
                       const ChunkSink& onStored, BudgetLease& lease) {
        FileReader& archive = r.archive_;
        EntryBlock& block = r.block_;
        block = EntryBlock{};
        const EntrySpan span(file);
        if (span.start < 0 || span.start > archive.size() || !archive.seek(span.start)) return kEntryOutside;
        const bool fits = file.storedSize >= 0 && span.blockSize + file.storedSize <= archive.remaining();
        Method method;
        const int16_t known = methodFor(file, &method);
        const bool prefix = method.copies && headBytes >= 0;
        const int64_t storedToRead = prefix ? std::min(headBytes, file.storedSize) : file.storedSize;
        const bool whole = fits && known == kEntryOk && (prefix || method.readsWhole(file, sinkHolds));
        const int64_t output = known != kEntryOk || method.copies ? 0 : out.memoryFor(file.size, whole && method.exactWhenWhole);
        lease = BudgetLease(r.budget_, (whole ? span.blockSize + storedToRead : static_cast<int64_t>(kChunk)) + output +
                                           method.working);
        Source in(archive, storedToRead, onStored);
        if (whole) {
            uint8_t* bytes = storedBuffer().reserve(span.blockSize + storedToRead);
            if (!bytes) return kEntryNoMemory;
            if (!archive.read(bytes, static_cast<size_t>(span.blockSize + storedToRead))) return kEntryTruncated;
            if (span.hasBlock) parseBlock(file, span, bytes, block, r.log_);
            else logDecompressing(file, file.name, file.dataPos, r.log_);
            in.hold(bytes + span.blockSize);
        } else {
            if (const int16_t rc = readBlock(file, span, archive, block, r.log_); rc != kEntryOk) return rc;
            if (!fits) return file.storedSize < 0 ? kEntryBadSize : kEntryTruncated;
            if (known != kEntryOk) return known;
        }
        return method.decode(file, in, out);
    }

    // The outcome of a read into the thread's buffer.
    static Expected<EntryBytes> finishHeld(EntryReader& r, const ArchiveFile& file, int16_t result,
                                           HoldingSink<ThreadHolding>& sink, EntryBytes& bytes) {
        bytes.trims_ = true;
        if (result != kEntryOk) {
            bytes = EntryBytes{};
            trimThreadBuffers();
            return r.finish(file, result);
        }
        bytes.data_ = sink.data();
        bytes.size_ = static_cast<size_t>(sink.produced());
        r.result_ = kEntryOk;
        return std::move(bytes);
    }
};

EntryBytes::EntryBytes(EntryBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      trims_(std::exchange(other.trims_, false)), lease_(std::move(other.lease_)) {}

EntryBytes& EntryBytes::operator=(EntryBytes&& other) noexcept {
    if (this != &other) {
        if (trims_) trimThreadBuffers();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        trims_ = std::exchange(other.trims_, false);
        lease_ = std::move(other.lease_);
    }
    return *this;
}

EntryBytes::~EntryBytes() {
    lease_.reset();
    if (trims_) trimThreadBuffers();
}

void EntryBytes::keepUntilNextRead() {
    lease_.reset();
    trims_ = false;
}

EntryReader::EntryReader(FileReader& archive, LogSink& log, MemoryBudget& budget)
    : archive_(archive), log_(log), budget_(budget) {}

int64_t EntryReader::decodedSize(const ArchiveFile& file) {
    Method method;
    return methodFor(file, &method) == kEntryOk && method.copies ? file.storedSize : file.size;
}

bool EntryReader::holdsWhole(const ArchiveFile& file) {
    const int64_t limit = inMemoryLimit();
    return file.size <= limit && file.storedSize <= limit;
}

Status EntryReader::finish(const ArchiveFile& file, int16_t result) {
    result_ = static_cast<EntryResult>(result);
    if (result == kEntryOk) return Status();
    return Status::error(errorCodeOf(result), describeEntryFailure(file, result));
}

Expected<EntryBytes> EntryReader::read(const ArchiveFile& file) {
    const int64_t limit = inMemoryLimit();
    ThreadHolding holding;
    EntryBytes bytes;
    // Stored bytes beyond the limit are not even read; a size beyond it
    // shows before decoding (zlib) or while decoding (Brotli).
    const bool storedFits = file.storedSize <= limit;
    HoldingSink sink(holding, storedFits ? limit + 1 : 0, file.storedSize, false);
    int16_t result = EntryReaderRun::run(*this, file, sink, storedFits, storedFits ? -1 : 0, {}, bytes.lease_);
    if (!storedFits && result == kEntryOk) result = kEntryTooLarge;
    return EntryReaderRun::finishHeld(*this, file, result, sink, bytes);
}

Status EntryReader::read(const ArchiveFile& file, std::vector<uint8_t>& out, int64_t limit) {
    out.clear();
    VectorHolding holding{out};
    limit = std::clamp<int64_t>(limit, 0, INT64_MAX - 1);
    const bool storedFits = file.storedSize <= limit;
    HoldingSink sink(holding, storedFits ? limit + 1 : 0, file.storedSize, false);
    BudgetLease lease;
    int16_t result = EntryReaderRun::run(*this, file, sink, storedFits, storedFits ? -1 : 0, {}, lease);
    if (!storedFits && result == kEntryOk) result = kEntryTooLarge;
    if (result != kEntryOk) out.clear();
    else if (sink.data() != out.data()) out.assign(sink.data(), sink.data() + sink.produced());
    else out.resize(static_cast<size_t>(sink.produced()));
    lease.reset();
    trimThreadBuffers();
    return finish(file, result);
}

Expected<EntryBytes> EntryReader::readHead(const ArchiveFile& file, size_t n) {
    const auto wanted = static_cast<int64_t>(std::min<uint64_t>(n, static_cast<uint64_t>(INT64_MAX / 2)));
    // Whole when the head covers the entry (a stored entry's bytes are its stored bytes).
    if (wanted >= std::max(file.size, file.storedSize)) return read(file);
    ThreadHolding holding;
    EntryBytes bytes;
    HoldingSink sink(holding, wanted, file.storedSize, true);
    const int16_t result = EntryReaderRun::run(*this, file, sink, false, wanted, {}, bytes.lease_);
    return EntryReaderRun::finishHeld(*this, file, result, sink, bytes);
}

Status EntryReader::stream(const ArchiveFile& file, const ChunkSink& onBytes, const ChunkSink& onStored) {
    const bool holds = holdsWhole(file);
    ChunkingSink sink(onBytes, holds);
    BudgetLease lease;
    const int16_t result = EntryReaderRun::run(*this, file, sink, holds, -1, onStored, lease);
    lease.reset();
    trimThreadBuffers();
    return finish(file, result);
}

// ---------------------------------------------------------------- the rest

std::string describeEntryResult(int result) {
    switch (result) {
    case kEntryOk: return "no error";
    case kEntryBadData: return "the stored bytes are not a valid zlib stream (or its checksum is wrong)";
    case kEntryShortOutput: return "the stored bytes inflate to fewer bytes than orgSize";
    case kEntryTooLong: return "the stored bytes inflate to more bytes than orgSize";
    case kEntryImpossibleSize: return "orgSize is negative or beyond what the stored bytes can hold";
    case kEntryTruncated: return "the entry's data runs past the end of the archive";
    case kEntryBadSize: return "the stored size is negative";
    case kEntryNoMemory: return "not enough memory";
    case kEntryEncrypted: return "the entry is encrypted";
    case kEntryUnknownStorage: return "the entry's storage method is unknown";
    case kEntryBadBrotli: return "the stored bytes are not a valid Brotli stream";
    case kEntryTooLarge: return "the entry is too large to hold in memory";
    case kEntryOutside: return "its data lies outside the archive";
    case kEntryStopped: return "its bytes could not be passed on";
    default: return "decompression failed (code " + std::to_string(result) + ")";
    }
}

std::string describeEntryFailure(const ArchiveFile& file, int result) {
    if (result != kEntryOutside) return describeEntryResult(result);
    return file.blockSize > 0
               ? "its data block at offset " + std::to_string(file.blockPos) + " lies outside the archive"
               : "its data at offset " + std::to_string(file.dataPos) + " lies outside the archive";
}

uint32_t EntryBlock::storedCrc() const {
    if (pad.size() < 4) return 0;
    const uint8_t* p = pad.data() + pad.size() - 4;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

int64_t maxInflatedSize(int64_t storedSize) {
    return storedSize <= 0 ? 0 : storedSize * kMaxDeflateRatio;
}

int64_t inMemoryLimit() { return memoryLimit.load(); }
void setInMemoryLimit(int64_t bytes) { memoryLimit.store(bytes); }

int64_t takeLargestThreadBuffer() {
    return std::exchange(largestBuffer, 0);
}

int32_t DecompressBuffer(std::vector<uint8_t>& buffer, int32_t orgSize) {
    if (orgSize < 0 || orgSize > maxInflatedSize(static_cast<int64_t>(buffer.size()))) return kEntryImpossibleSize;
    libdeflate_decompressor* decompressor = threadDecompressor();
    if (!decompressor) return kEntryNoMemory;
    thread_local std::vector<uint8_t> scratch;
    try {
        scratch.resize(static_cast<size_t>(orgSize));
    } catch (const std::exception&) {
        return kEntryNoMemory;
    }
    switch (libdeflate_zlib_decompress(decompressor, buffer.data(), buffer.size(), scratch.data(),
                                       static_cast<size_t>(orgSize), nullptr)) {
    case LIBDEFLATE_SUCCESS: buffer.swap(scratch); return kEntryOk;
    case LIBDEFLATE_SHORT_OUTPUT: return kEntryShortOutput;
    case LIBDEFLATE_INSUFFICIENT_SPACE: return kEntryTooLong;
    default: return kEntryBadData;
    }
}

} // namespace sga
