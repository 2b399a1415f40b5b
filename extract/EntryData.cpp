#include "extract/EntryData.h"

#include "core/FileReader.h"
#include "core/ActivityLog.h"

#include <libdeflate.h>
#include <algorithm>
#include <climits>
#include <memory>
#include <new>

namespace sga {

std::vector<uint8_t> entryBuffer;

namespace {

constexpr size_t kNameFieldSize = 256;
// Deflate's best case: a 258-byte match costs at least two bits.
constexpr int64_t kMaxDeflateRatio = 1032;

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor* threadDecompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor.get();
}

// The inflated bytes go here and are swapped into the caller's buffer, so the
// capacity of one entry's buffer serves the next entry of this thread.
std::vector<uint8_t>& threadScratch() {
    thread_local std::vector<uint8_t> scratch;
    return scratch;
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
    default: return "decompression failed (code " + std::to_string(result) + ")";
    }
}

int64_t maxInflatedSize(int64_t storedSize) {
    return storedSize <= 0 ? 0 : storedSize * kMaxDeflateRatio;
}

namespace {

// Inflates size bytes at in into out, exactly orgSize bytes.
int32_t inflateExactly(const uint8_t* in, size_t size, int32_t orgSize, std::vector<uint8_t>& out) {
    if (orgSize < 0 || orgSize > maxInflatedSize(static_cast<int64_t>(size))) return kEntryImpossibleSize;
    libdeflate_decompressor* decompressor = threadDecompressor();
    if (!decompressor) return kEntryNoMemory;
    try {
        out.resize(static_cast<size_t>(orgSize));
    } catch (const std::bad_alloc&) {
        return kEntryNoMemory;
    }
    // Without an "actual size" out-parameter libdeflate insists on exactly
    // orgSize bytes and checks the Adler-32 at the stream's end.
    switch (libdeflate_zlib_decompress(decompressor, in, size, out.data(), out.size(), nullptr)) {
    case LIBDEFLATE_SUCCESS: return kEntryOk;
    case LIBDEFLATE_SHORT_OUTPUT: return kEntryShortOutput;
    case LIBDEFLATE_INSUFFICIENT_SPACE: return kEntryTooLong;
    default: return kEntryBadData;
    }
}

int16_t asResult(int32_t result) {
    // A result outside 16 bits still has to read as a failure.
    if (result < INT16_MIN || result > INT16_MAX) return kEntryBadData;
    return static_cast<int16_t>(result);
}

void logBlock(const FileEntry& entry, const EntryBlock& block, int64_t namePos, LogSink& log) {
    log("decompressing " + std::to_string(entry.compSize) + ": " + block.name +
        " at pos: " + std::to_string(namePos + 1));
    std::string padLine = "pad: ";
    for (uint8_t byte : block.pad) padLine += std::to_string(byte) + " ";
    log(padLine);
}

} // namespace

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

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock& block) {
    // The buffer is only resized, never cleared first: growing it from its
    // last size zero-fills just the growth.
    const int64_t start = archive.tell();
    const int64_t stored = int64_t{entry.compSize} + 1;
    if (entry.compSize >= -1 && kDataBlockSize + stored <= archive.remaining()) {
        // The usual case: block and stored bytes in one read.
        std::vector<uint8_t>& whole = threadScratch();
        try {
            whole.resize(static_cast<size_t>(kDataBlockSize + stored));
        } catch (const std::bad_alloc&) {
            return kEntryNoMemory;
        }
        if (!archive.read(whole.data(), whole.size())) return kEntryTruncated;
        block.name = trimAtNul(std::string_view(reinterpret_cast<const char*>(whole.data()), kNameFieldSize));
        std::copy_n(whole.data() + kNameFieldSize, block.pad.size(), block.pad.begin());
        logBlock(entry, block, start + static_cast<int64_t>(kNameFieldSize), log);
        const uint8_t* bytes = whole.data() + kDataBlockSize;
        if (entry.null == 0) {
            buffer.assign(bytes, bytes + stored);
            return kEntryOk;
        }
        return asResult(inflateExactly(bytes, static_cast<size_t>(stored), entry.orgSize, buffer));
    }

    // A damaged entry: log what can be read, then fail.
    buffer.clear();
    char name[kNameFieldSize];
    if (!archive.read(name, sizeof name)) return kEntryTruncated;
    block.name = trimAtNul(std::string_view(name, sizeof name));
    if (!archive.read(block.pad.data(), block.pad.size())) {
        log("decompressing " + std::to_string(entry.compSize) + ": " + block.name +
            " at pos: " + std::to_string(start + static_cast<int64_t>(kNameFieldSize) + 1));
        return kEntryTruncated;
    }
    logBlock(entry, block, start + static_cast<int64_t>(kNameFieldSize), log);
    return entry.compSize < -1 ? kEntryBadSize : kEntryTruncated;
}

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer) {
    EntryBlock block;
    return readEntryData(entry, archive, log, buffer, block);
}

} // namespace sga
