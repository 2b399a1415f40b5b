#include "extract/EntryData.h"

#include "archive/FileReader.h"
#include "ui/ActivityLog.h"

#include <libdeflate.h>
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

int32_t DecompressBuffer(std::vector<uint8_t>& buffer, int32_t orgSize) {
    if (orgSize < 0 || orgSize > maxInflatedSize(static_cast<int64_t>(buffer.size())))
        return kEntryImpossibleSize;
    libdeflate_decompressor* decompressor = threadDecompressor();
    if (!decompressor) return kEntryNoMemory;
    std::vector<uint8_t>& out = threadScratch();
    try {
        out.resize(static_cast<size_t>(orgSize));
    } catch (const std::bad_alloc&) {
        return kEntryNoMemory;
    }
    // Without an "actual size" out-parameter libdeflate insists on exactly
    // orgSize bytes and checks the Adler-32 at the stream's end.
    const libdeflate_result result = libdeflate_zlib_decompress(
        decompressor, buffer.data(), buffer.size(), out.data(), out.size(), nullptr);
    switch (result) {
    case LIBDEFLATE_SUCCESS: buffer.swap(out); return kEntryOk;
    case LIBDEFLATE_SHORT_OUTPUT: return kEntryShortOutput;
    case LIBDEFLATE_INSUFFICIENT_SPACE: return kEntryTooLong;
    default: return kEntryBadData;
    }
}

std::string trimAtNul(std::string_view text) {
    const auto nul = text.find('\0');
    return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
}

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer, EntryBlock& block) {
    buffer.clear();
    char name[kNameFieldSize];
    if (!archive.read(name, sizeof name)) return kEntryTruncated;
    block.name = trimAtNul(std::string_view(name, sizeof name));
    log("decompressing " + std::to_string(entry.compSize) + ": " + block.name +
        " at pos: " + std::to_string(archive.tell() + 1));

    std::string padLine = "pad: ";
    for (uint8_t& byte : block.pad) {
        if (!archive.readByte(byte)) return kEntryTruncated;
        padLine += std::to_string(byte) + " ";
    }
    log(padLine);

    if (entry.compSize < -1) return kEntryBadSize;
    // Never allocate more than the file can hold.
    const int64_t stored = int64_t{entry.compSize} + 1;
    if (stored > archive.remaining()) return kEntryTruncated;
    try {
        buffer.resize(static_cast<size_t>(stored));
    } catch (const std::bad_alloc&) {
        return kEntryNoMemory;
    }
    if (!archive.read(buffer.data(), buffer.size())) {
        buffer.clear();
        return kEntryTruncated;
    }
    if (entry.null == 0) return kEntryOk;
    const int32_t result = DecompressBuffer(buffer, entry.orgSize);
    // A result outside 16 bits still has to read as a failure.
    if (result < INT16_MIN || result > INT16_MAX) return kEntryBadData;
    return static_cast<int16_t>(result);
}

int16_t readEntryData(const FileEntry& entry, FileReader& archive, LogSink& log,
                      std::vector<uint8_t>& buffer) {
    EntryBlock block;
    return readEntryData(entry, archive, log, buffer, block);
}

} // namespace sga
