#include "extract/EntryData.h"

#include "core/ActivityLog.h"
#include "core/FileReader.h"

#include <brotli/decode.h>
#include <libdeflate.h>
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

// Block and stored bytes of the entry last read on this thread; the decoded
// bytes go to the caller's buffer, so the capacity of one entry's scratch
// serves the next entry.
std::vector<uint8_t>& threadScratch() {
    thread_local std::vector<uint8_t> scratch;
    return scratch;
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

int32_t inflateExactly(const uint8_t* in, size_t size, int64_t orgSize, std::vector<uint8_t>& out) {
    if (orgSize < 0 || orgSize > maxInflatedSize(static_cast<int64_t>(size))) return kEntryImpossibleSize;
    libdeflate_decompressor* decompressor = threadDecompressor();
    if (!decompressor) return kEntryNoMemory;
    if (!resizeTo(out, orgSize)) return kEntryNoMemory;
    // Without an "actual size" out-parameter libdeflate insists on exactly
    // orgSize bytes and checks the Adler-32 at the stream's end.
    switch (libdeflate_zlib_decompress(decompressor, in, size, out.data(), out.size(), nullptr)) {
    case LIBDEFLATE_SUCCESS: return kEntryOk;
    case LIBDEFLATE_SHORT_OUTPUT: return kEntryShortOutput;
    case LIBDEFLATE_INSUFFICIENT_SPACE: return kEntryTooLong;
    default: return kEntryBadData;
    }
}

int32_t brotliExactly(const uint8_t* in, size_t size, int64_t orgSize, std::vector<uint8_t>& out) {
    if (orgSize < 0) return kEntryImpossibleSize;
    // One byte more than the recorded size tells a longer stream apart.
    if (!resizeTo(out, orgSize + 1)) return kEntryNoMemory;
    size_t decoded = out.size();
    const BrotliDecoderResult r = BrotliDecoderDecompress(size, in, &decoded, out.data());
    if (r == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) return kEntryTooLong;
    if (r != BROTLI_DECODER_RESULT_SUCCESS) return kEntryBadBrotli;
    if (static_cast<int64_t>(decoded) > orgSize) return kEntryTooLong;
    if (static_cast<int64_t>(decoded) < orgSize) return kEntryShortOutput;
    out.resize(static_cast<size_t>(orgSize));
    return kEntryOk;
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

// Reads block and stored bytes into the thread's scratch; on 0, *stored
// points at the stored bytes there.
int16_t readRaw(const ArchiveFile& file, FileReader& archive, LogSink& log, EntryBlock& block,
                const uint8_t** stored) {
    block = EntryBlock{};
    const bool hasBlock = file.blockSize > 0;
    const int64_t start = hasBlock ? file.blockPos : file.dataPos;
    const int64_t blockSize = hasBlock ? file.blockSize : 0;
    const int64_t nameSize = hasBlock ? std::clamp<int64_t>(file.blockNameSize, 0, blockSize) : 0;
    if (start < 0 || start > archive.size() || !archive.seek(start)) return kEntryOutside;
    std::vector<uint8_t>& whole = threadScratch();
    const bool wholeFits = file.storedSize >= 0 && blockSize + file.storedSize <= archive.remaining();
    if (!wholeFits) {
        // A damaged entry: log what can be read, then fail.
        if (!hasBlock) {
            logDecompressing(file, file.name, file.dataPos, log);
            return file.storedSize < 0 ? kEntryBadSize : kEntryTruncated;
        }
        std::string name(static_cast<size_t>(nameSize), '\0');
        if (!archive.read(name.data(), name.size())) return kEntryTruncated;
        block.name = trimAtNul(name);
        block.present = true;
        block.pad.resize(static_cast<size_t>(blockSize - nameSize));
        logDecompressing(file, block.name, start + nameSize, log);
        if (!archive.read(block.pad.data(), block.pad.size())) return kEntryTruncated;
        logPad(block, log);
        return file.storedSize < 0 ? kEntryBadSize : kEntryTruncated;
    }
    if (!resizeTo(whole, blockSize + file.storedSize)) return kEntryNoMemory;
    if (!archive.read(whole.data(), whole.size())) return kEntryTruncated;
    if (hasBlock) {
        block.present = true;
        block.name = trimAtNul(std::string_view(reinterpret_cast<const char*>(whole.data()),
                                                static_cast<size_t>(nameSize)));
        block.pad.assign(whole.data() + nameSize, whole.data() + blockSize);
        logDecompressing(file, block.name, start + nameSize, log);
        logPad(block, log);
    } else {
        logDecompressing(file, file.name, file.dataPos, log);
    }
    *stored = whole.data() + blockSize;
    return kEntryOk;
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

std::string trimAtNul(std::string_view text) {
    const auto nul = text.find('\0');
    return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
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

int16_t readStoredBytes(const ArchiveFile& file, FileReader& archive, LogSink& log,
                        std::vector<uint8_t>& stored, EntryBlock& block) {
    const uint8_t* bytes = nullptr;
    const int16_t result = readRaw(file, archive, log, block, &bytes);
    if (result != kEntryOk) return result;
    if (!resizeTo(stored, file.storedSize)) return kEntryNoMemory;
    std::copy_n(bytes, static_cast<size_t>(file.storedSize), stored.data());
    return kEntryOk;
}

int16_t readStoredInPlace(const ArchiveFile& file, FileReader& archive, LogSink& log,
                          const uint8_t** stored, EntryBlock& block) {
    return readRaw(file, archive, log, block, stored);
}

int16_t readFileBytes(const ArchiveFile& file, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock* block) {
    EntryBlock local;
    const uint8_t* stored = nullptr;
    const int16_t result = readRaw(file, archive, log, block ? *block : local, &stored);
    if (result != kEntryOk) return result;
    return decodeStoredBytes(file, stored, static_cast<size_t>(file.storedSize), buffer);
}

namespace {

ArchiveFile fileAt(const FileEntry& entry, int64_t blockPos) {
    ArchiveFile f;
    f.name = entry.name;
    f.blockPos = blockPos;
    f.blockSize = kDataBlockSize;
    f.blockNameSize = 256;
    f.dataPos = blockPos + kDataBlockSize;
    f.storedSize = int64_t{entry.compSize} + 1;
    f.size = entry.orgSize;
    f.storage = entry.null != 0 ? Storage::ZlibStream : Storage::Stored;
    return f;
}

} // namespace

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock& block) {
    const int16_t result = readFileBytes(fileAt(entry, archive.tell()), archive, log, buffer, &block);
    if (result != kEntryOk) buffer.clear();
    return result;
}

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer) {
    EntryBlock block;
    return readEntryData(entry, archive, log, buffer, block);
}

} // namespace sga
