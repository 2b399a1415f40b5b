#include "extract/EntryData.h"

#include "archive/ArchiveOpen.h"
#include "core/ActivityLog.h"
#include "core/FileReader.h"

#include <brotli/decode.h>
#include <libdeflate.h>
#include <zlib.h>
#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <new>

namespace sga {

std::vector<uint8_t> entryBuffer;

namespace {

// Deflate's best case: a 258-byte match costs at least two bits.
constexpr int64_t kMaxDeflateRatio = 1032;
std::atomic<int64_t> memoryLimit{int64_t{64} << 20};

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor* threadDecompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor.get();
}

// DecompressBuffer's output, swapped with its caller's buffer.
std::vector<uint8_t>& threadScratch() {
    thread_local std::vector<uint8_t> scratch;
    return scratch;
}

// A thread's buffer that grows and never shrinks nor clears: the stored
// and decoded bytes of one entry overwrite the last one's without first
// zero-filling memory.
class RawBuffer {
public:
    // Room for size bytes (their contents undefined); null when memory runs out.
    uint8_t* reserve(int64_t size) {
        if (size < 0) return nullptr;
        const uint64_t wanted = static_cast<uint64_t>(size);
        if (wanted <= capacity_ && data_) return data_.get();
        const uint64_t grown = std::max(wanted, capacity_ + capacity_ / 2);
        data_.reset();
        capacity_ = 0;
        for (uint64_t n : {grown, wanted}) {
            data_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(std::max<uint64_t>(n, 1))]);
            if (data_) {
                capacity_ = n;
                break;
            }
        }
        return data_.get();
    }

private:
    std::unique_ptr<uint8_t[]> data_;
    uint64_t capacity_ = 0;
};

RawBuffer& threadStoredBuffer() {
    thread_local RawBuffer buffer;
    return buffer;
}

RawBuffer& threadDecodedBuffer() {
    thread_local RawBuffer buffer;
    return buffer;
}

bool resizeTo(std::vector<uint8_t>& v, int64_t size) {
    try {
        v.resize(static_cast<size_t>(size));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// Inflates into out, which has room for exactly orgSize bytes.
int32_t inflateInto(const uint8_t* in, size_t size, int64_t orgSize, uint8_t* out) {
    libdeflate_decompressor* decompressor = threadDecompressor();
    if (!decompressor) return kEntryNoMemory;
    // Without an "actual size" out-parameter libdeflate insists on exactly
    // orgSize bytes and checks the Adler-32 at the stream's end.
    switch (libdeflate_zlib_decompress(decompressor, in, size, out, static_cast<size_t>(orgSize), nullptr)) {
    case LIBDEFLATE_SUCCESS: return kEntryOk;
    case LIBDEFLATE_SHORT_OUTPUT: return kEntryShortOutput;
    case LIBDEFLATE_INSUFFICIENT_SPACE: return kEntryTooLong;
    default: return kEntryBadData;
    }
}

int32_t inflateExactly(const uint8_t* in, size_t size, int64_t orgSize, std::vector<uint8_t>& out) {
    if (orgSize < 0 || orgSize > maxInflatedSize(static_cast<int64_t>(size))) return kEntryImpossibleSize;
    if (!resizeTo(out, orgSize)) return kEntryNoMemory;
    return inflateInto(in, size, orgSize, out.data());
}

// Decodes into out, which has room for orgSize + 1 bytes: one byte more
// than the recorded size tells a longer stream apart.
int32_t brotliInto(const uint8_t* in, size_t size, int64_t orgSize, uint8_t* out) {
    BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    if (!state) return kEntryNoMemory;
    const size_t room = static_cast<size_t>(orgSize) + 1;
    size_t availIn = size, availOut = room;
    const uint8_t* nextIn = in;
    uint8_t* nextOut = out;
    // The streaming call in one go: unlike the one-shot call it tells a
    // stream that wants more room from a broken one.
    const BrotliDecoderResult r = BrotliDecoderDecompressStream(state, &availIn, &nextIn, &availOut, &nextOut, nullptr);
    BrotliDecoderDestroyInstance(state);
    const size_t decoded = room - availOut;
    if (r == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) return kEntryTooLong;
    if (r != BROTLI_DECODER_RESULT_SUCCESS) return kEntryBadBrotli;
    if (static_cast<int64_t>(decoded) > orgSize) return kEntryTooLong;
    if (static_cast<int64_t>(decoded) < orgSize) return kEntryShortOutput;
    return kEntryOk;
}

int32_t brotliExactly(const uint8_t* in, size_t size, int64_t orgSize, std::vector<uint8_t>& out) {
    if (orgSize < 0) return kEntryImpossibleSize;
    if (!resizeTo(out, orgSize + 1)) return kEntryNoMemory;
    const int32_t result = brotliInto(in, size, orgSize, out.data());
    if (result == kEntryOk) out.resize(static_cast<size_t>(orgSize));
    return result;
}

int16_t asResult(int32_t result) {
    // A result outside 16 bits still has to read as a failure.
    if (result < INT16_MIN || result > INT16_MAX) return kEntryBadData;
    return static_cast<int16_t>(result);
}

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

    // Seeks to start; false when it lies outside the file.
    bool seek(FileReader& archive) const { return start >= 0 && start <= archive.size() && archive.seek(start); }
    bool wholeFits(const ArchiveFile& file, const FileReader& archive) const {
        return file.storedSize >= 0 && blockSize + file.storedSize <= archive.remaining();
    }
};

// Seeks to the entry, reads and logs its block when it has one, and checks
// that the stored bytes lie inside the file; on 0 the archive stands at the
// first stored byte.
int16_t readHead(const ArchiveFile& file, FileReader& archive, LogSink& log, EntryBlock& block) {
    block = EntryBlock{};
    const EntrySpan span(file);
    const auto [hasBlock, start, blockSize, nameSize] = span;
    if (!span.seek(archive)) return kEntryOutside;
    const bool wholeFits = span.wholeFits(file, archive);
    if (hasBlock) {
        std::string name(static_cast<size_t>(nameSize), '\0');
        if (!archive.read(name.data(), name.size())) return kEntryTruncated;
        block.name = trimAtNul(name);
        block.present = true;
        block.pad.resize(static_cast<size_t>(blockSize - nameSize));
        logDecompressing(file, block.name, start + nameSize, log);
        if (!archive.read(block.pad.data(), block.pad.size())) return kEntryTruncated;
        logPad(block, log);
    } else {
        logDecompressing(file, file.name, file.dataPos, log);
    }
    if (!wholeFits) return file.storedSize < 0 ? kEntryBadSize : kEntryTruncated;
    return kEntryOk;
}

// Reads block and stored bytes into the thread's scratch; on 0, *stored
// points at the stored bytes there.
int16_t readRaw(const ArchiveFile& file, FileReader& archive, LogSink& log, EntryBlock& block,
                const uint8_t** stored) {
    block = EntryBlock{};
    const EntrySpan span(file);
    const auto [hasBlock, start, blockSize, nameSize] = span;
    if (!span.seek(archive)) return kEntryOutside;
    // A damaged entry: log what can be read, then fail.
    if (!span.wholeFits(file, archive)) return readHead(file, archive, log, block);
    uint8_t* whole = threadStoredBuffer().reserve(blockSize + file.storedSize);
    if (!whole) return kEntryNoMemory;
    if (!archive.read(whole, static_cast<size_t>(blockSize + file.storedSize))) return kEntryTruncated;
    if (hasBlock) {
        block.present = true;
        block.name = trimAtNul(std::string_view(reinterpret_cast<const char*>(whole),
                                                static_cast<size_t>(nameSize)));
        block.pad.assign(whole + nameSize, whole + blockSize);
        logDecompressing(file, block.name, start + nameSize, log);
        logPad(block, log);
    } else {
        logDecompressing(file, file.name, file.dataPos, log);
    }
    *stored = whole + blockSize;
    return kEntryOk;
}

constexpr size_t kStreamChunk = size_t{1} << 20;

// Hands out the stored bytes in chunks as they are read from the archive.
class StoredChunks {
public:
    StoredChunks(FileReader& archive, int64_t size, const ChunkSink& onStored)
        : archive_(archive), left_(size), onStored_(onStored), buffer_(kStreamChunk) {}

    // The next chunk in *data/*size; 0 or a nonzero result (Truncated, Stopped).
    int16_t next(const uint8_t** data, size_t* size) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(buffer_.size())));
        if (!archive_.read(buffer_.data(), n)) return kEntryTruncated;
        left_ -= static_cast<int64_t>(n);
        if (onStored_ && !onStored_(buffer_.data(), n)) return kEntryStopped;
        *data = buffer_.data();
        *size = n;
        return kEntryOk;
    }
    bool done() const { return left_ == 0; }
    // The stored bytes after the end of the stream still count for the stored bytes' checks.
    int16_t drain() {
        if (!onStored_) return kEntryOk;
        const uint8_t* data = nullptr;
        size_t size = 0;
        while (left_ > 0)
            if (const int16_t r = next(&data, &size); r != kEntryOk) return r;
        return kEntryOk;
    }

private:
    FileReader& archive_;
    int64_t left_;
    const ChunkSink& onStored_;
    std::vector<uint8_t> buffer_;
};

int16_t streamStored(StoredChunks& chunks, const ChunkSink& onBytes) {
    while (!chunks.done()) {
        const uint8_t* data = nullptr;
        size_t size = 0;
        if (const int16_t r = chunks.next(&data, &size); r != kEntryOk) return r;
        if (!onBytes(data, size)) return kEntryStopped;
    }
    return kEntryOk;
}

// Decoded bytes are given room for one byte past the recorded size, which
// tells a longer stream apart without decoding all of it.
size_t roomFor(int64_t size, int64_t produced) {
    return static_cast<size_t>(std::min<int64_t>(size - produced + 1, static_cast<int64_t>(kStreamChunk)));
}

struct InflateGuard {
    z_stream* z;
    ~InflateGuard() { inflateEnd(z); }
};

int16_t streamZlib(const ArchiveFile& file, StoredChunks& chunks, const ChunkSink& onBytes) {
    if (file.size < 0 || file.size > maxInflatedSize(file.storedSize)) return kEntryImpossibleSize;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return kEntryNoMemory;
    InflateGuard guard{&z};
    std::vector<uint8_t> out(kStreamChunk);
    int64_t produced = 0;
    while (true) {
        if (z.avail_in == 0) {
            // The stream has not ended and every stored byte has gone in.
            if (chunks.done()) return kEntryBadData;
            const uint8_t* data = nullptr;
            size_t size = 0;
            if (const int16_t r = chunks.next(&data, &size); r != kEntryOk) return r;
            z.next_in = const_cast<Bytef*>(data);
            z.avail_in = static_cast<uInt>(size);
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(roomFor(file.size, produced));
        const uInt room = z.avail_out;
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR) return r == Z_MEM_ERROR ? kEntryNoMemory : kEntryBadData;
        const size_t got = room - z.avail_out;
        if (produced + static_cast<int64_t>(got) > file.size) return kEntryTooLong;
        produced += static_cast<int64_t>(got);
        if (got > 0 && !onBytes(out.data(), got)) return kEntryStopped;
        if (r == Z_STREAM_END) break;
    }
    if (produced < file.size) return kEntryShortOutput;
    return chunks.drain();
}

struct BrotliGuard {
    BrotliDecoderState* s;
    ~BrotliGuard() { BrotliDecoderDestroyInstance(s); }
};

int16_t streamBrotli(const ArchiveFile& file, StoredChunks& chunks, const ChunkSink& onBytes) {
    if (file.size < 0) return kEntryImpossibleSize;
    BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    if (!state) return kEntryNoMemory;
    BrotliGuard guard{state};
    std::vector<uint8_t> out(kStreamChunk);
    const uint8_t* nextIn = nullptr;
    size_t availIn = 0;
    int64_t produced = 0;
    BrotliDecoderResult r = BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT;
    while (r != BROTLI_DECODER_RESULT_SUCCESS) {
        if (r == BROTLI_DECODER_RESULT_ERROR) return kEntryBadBrotli;
        if (r == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT && availIn == 0) {
            if (chunks.done()) return kEntryBadBrotli;
            if (const int16_t rc = chunks.next(&nextIn, &availIn); rc != kEntryOk) return rc;
        }
        uint8_t* nextOut = out.data();
        const size_t room = roomFor(file.size, produced);
        size_t availOut = room;
        r = BrotliDecoderDecompressStream(state, &availIn, &nextIn, &availOut, &nextOut, nullptr);
        const size_t got = room - availOut;
        if (produced + static_cast<int64_t>(got) > file.size) return kEntryTooLong;
        produced += static_cast<int64_t>(got);
        if (got > 0 && !onBytes(out.data(), got)) return kEntryStopped;
    }
    if (produced < file.size) return kEntryShortOutput;
    return chunks.drain();
}

} // namespace

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

int32_t DecompressBuffer(std::vector<uint8_t>& buffer, int32_t orgSize) {
    std::vector<uint8_t>& out = threadScratch();
    const int32_t result = inflateExactly(buffer.data(), buffer.size(), orgSize, out);
    if (result == kEntryOk) buffer.swap(out);
    return result;
}

int16_t decodeStoredBytes(const ArchiveFile& file, const uint8_t* stored, size_t storedSize,
                          std::vector<uint8_t>& out) {
    switch (file.storage) {
    case Storage::Stored:
        // Resized, never cleared first: growing the buffer zero-fills just the growth.
        if (!resizeTo(out, static_cast<int64_t>(storedSize))) return kEntryNoMemory;
        std::copy_n(stored, storedSize, out.data());
        return kEntryOk;
    case Storage::ZlibStream:
    case Storage::ZlibBuffer: return asResult(inflateExactly(stored, storedSize, file.size, out));
    case Storage::BrotliStream:
    case Storage::BrotliBuffer: return asResult(brotliExactly(stored, storedSize, file.size, out));
    case Storage::Encrypted: return kEntryEncrypted;
    case Storage::Unknown: break;
    }
    return kEntryUnknownStorage;
}

int16_t readStoredInPlace(const ArchiveFile& file, FileReader& archive, LogSink& log,
                          const uint8_t** stored, EntryBlock& block) {
    return readRaw(file, archive, log, block, stored);
}

int16_t decodeInPlace(const ArchiveFile& file, const uint8_t* stored, size_t storedSize, const uint8_t** bytes,
                      size_t* size) {
    uint8_t* out = nullptr;
    switch (file.storage) {
    case Storage::Stored:
        *bytes = stored;
        *size = storedSize;
        return kEntryOk;
    case Storage::ZlibStream:
    case Storage::ZlibBuffer:
        if (file.size < 0 || file.size > maxInflatedSize(static_cast<int64_t>(storedSize))) return kEntryImpossibleSize;
        if (!(out = threadDecodedBuffer().reserve(file.size))) return kEntryNoMemory;
        if (const int16_t r = asResult(inflateInto(stored, storedSize, file.size, out)); r != kEntryOk) return r;
        break;
    case Storage::BrotliStream:
    case Storage::BrotliBuffer:
        if (file.size < 0) return kEntryImpossibleSize;
        if (!(out = threadDecodedBuffer().reserve(file.size + 1))) return kEntryNoMemory;
        if (const int16_t r = asResult(brotliInto(stored, storedSize, file.size, out)); r != kEntryOk) return r;
        break;
    case Storage::Encrypted: return kEntryEncrypted;
    case Storage::Unknown: return kEntryUnknownStorage;
    }
    *bytes = out;
    *size = static_cast<size_t>(file.size);
    return kEntryOk;
}

int16_t readFileBytesInPlace(const ArchiveFile& file, FileReader& archive, LogSink& log, const uint8_t** bytes,
                             size_t* size, EntryBlock* block) {
    EntryBlock local;
    const uint8_t* stored = nullptr;
    const int16_t result = readRaw(file, archive, log, block ? *block : local, &stored);
    if (result != kEntryOk) return result;
    return decodeInPlace(file, stored, static_cast<size_t>(file.storedSize), bytes, size);
}

int16_t readFileBytes(const ArchiveFile& file, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock* block) {
    EntryBlock local;
    const uint8_t* stored = nullptr;
    const int16_t result = readRaw(file, archive, log, block ? *block : local, &stored);
    if (result != kEntryOk) return result;
    return decodeStoredBytes(file, stored, static_cast<size_t>(file.storedSize), buffer);
}

int16_t streamFileBytes(const ArchiveFile& file, FileReader& archive, LogSink& log,
                        const ChunkSink& onStored, const ChunkSink& onBytes, EntryBlock* block) {
    EntryBlock local;
    if (const int16_t r = readHead(file, archive, log, block ? *block : local); r != kEntryOk) return r;
    StoredChunks chunks(archive, file.storedSize, onStored);
    switch (file.storage) {
    case Storage::Stored: return streamStored(chunks, onBytes);
    case Storage::ZlibStream:
    case Storage::ZlibBuffer: return streamZlib(file, chunks, onBytes);
    case Storage::BrotliStream:
    case Storage::BrotliBuffer: return streamBrotli(file, chunks, onBytes);
    case Storage::Encrypted: return kEntryEncrypted;
    case Storage::Unknown: break;
    }
    return kEntryUnknownStorage;
}

bool streamsEntry(const ArchiveFile& file) {
    const int64_t limit = inMemoryLimit();
    return file.size > limit || file.storedSize > limit;
}

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock& block) {
    const int16_t result = readFileBytes(fileOfEntry(entry, archive.tell()), archive, log, buffer, &block);
    if (result != kEntryOk) buffer.clear();
    return result;
}

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer) {
    EntryBlock block;
    return readEntryData(entry, archive, log, buffer, block);
}

} // namespace sga
