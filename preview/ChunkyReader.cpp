#include "preview/ChunkyReader.h"

#include "preview/ByteReader.h"

#include <cstdio>
#include <cstring>

namespace sga {
namespace {

constexpr char kSignature[16] = {'R', 'e', 'l', 'i', 'c', ' ', 'C', 'h', 'u', 'n', 'k', 'y', 0x0D, 0x0A, 0x1A, 0x00};

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

Status chunkError(ErrorCode code, const std::string& what, uint64_t offset) {
    return Status::error(code, "Relic Chunky: " + what + " at offset " + std::to_string(offset));
}

bool isTag(std::span<const uint8_t> tag) {
    for (uint8_t c : tag)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

class TreeReader {
public:
    TreeReader(std::span<const uint8_t> bytes, bool longHeaders) : bytes_(bytes), longHeaders_(longHeaders) {}

    // Reads the chunks of [begin, end) into out.
    Status readChunks(uint64_t begin, uint64_t end, int depth, std::vector<ChunkyChunk>& out) {
        if (depth > kMaxChunkDepth)
            return chunkError(ErrorCode::BadField,
                              "chunks nested deeper than " + std::to_string(kMaxChunkDepth) + " levels", begin);
        const uint64_t headerSize = longHeaders_ ? 28 : 20;
        uint64_t at = begin;
        while (at < end) {
            if (end - at < headerSize)
                return chunkError(ErrorCode::Truncated,
                                  std::to_string(end - at) + " bytes left, too few for a chunk header,", at);
            const uint8_t* h = bytes_.data() + at;
            ChunkyChunk chunk;
            chunk.offset = at;
            if (!isTag({h, 8}))
                return chunkError(ErrorCode::BadField, "chunk header without a four-letter kind and id", at);
            chunk.kind.assign(reinterpret_cast<const char*>(h), 4);
            chunk.id.assign(reinterpret_cast<const char*>(h + 4), 4);
            if (chunk.kind != "FOLD" && chunk.kind != "DATA")
                return chunkError(ErrorCode::BadField, "chunk kind \"" + chunk.kind + "\" (not FOLD or DATA)", at);
            chunk.version = readLe32(h + 8);
            chunk.size = readLe32(h + 12);
            const uint32_t nameSize = readLe32(h + 16);
            const uint64_t nameAt = at + headerSize;
            if (nameSize > end - nameAt)
                return chunkError(ErrorCode::Truncated,
                                  "name of " + std::to_string(nameSize) + " bytes of chunk " + chunk.kind + chunk.id +
                                      " runs past its parent",
                                  at);
            chunk.name.assign(reinterpret_cast<const char*>(bytes_.data() + nameAt), nameSize);
            while (!chunk.name.empty() && chunk.name.back() == '\0') chunk.name.pop_back();
            chunk.dataOffset = nameAt + nameSize;
            if (chunk.size > end - chunk.dataOffset)
                return chunkError(ErrorCode::Truncated,
                                  "data of " + std::to_string(chunk.size) + " bytes of chunk " + chunk.kind +
                                      chunk.id + " runs past its parent (" +
                                      std::to_string(end - chunk.dataOffset) + " bytes left)",
                                  at);
            if (chunk.kind == "FOLD")
                if (Status inner = readChunks(chunk.dataOffset, chunk.dataOffset + chunk.size, depth + 1, chunk.children);
                    !inner)
                    return inner;
            at = chunk.dataOffset + chunk.size;
            out.push_back(std::move(chunk));
        }
        return {};
    }

private:
    std::span<const uint8_t> bytes_;
    bool longHeaders_;
};

} // namespace

bool looksLikeChunky(std::span<const uint8_t> bytes) {
    return bytes.size() >= 12 && std::memcmp(bytes.data(), kSignature, 12) == 0;
}

Expected<ChunkyFile> readChunky(std::span<const uint8_t> bytes) {
    if (!looksLikeChunky(bytes)) return chunkError(ErrorCode::BadField, "no \"Relic Chunky\" signature", 0);
    if (bytes.size() < 24)
        return chunkError(ErrorCode::Truncated, "the 24-byte file header runs past the end (" +
                                                    std::to_string(bytes.size()) + " bytes)",
                          0);
    if (std::memcmp(bytes.data() + 12, kSignature + 12, 4) != 0)
        return chunkError(ErrorCode::BadField, "signature without its 0D 0A 1A 00 ending", 12);
    ChunkyFile file;
    file.version = readLe32(bytes.data() + 16);
    file.platform = readLe32(bytes.data() + 20);
    // Version 3's header names where the chunks start and how long their headers are.
    const bool thirdLayout = file.version == 3 || (file.version != 1 && file.version != 4 && bytes.size() >= 36 &&
                                                   readLe32(bytes.data() + 24) == 36 && readLe32(bytes.data() + 28) == 28);
    uint64_t first = 24;
    if (thirdLayout) {
        if (bytes.size() < 36)
            return chunkError(ErrorCode::Truncated, "the 36-byte header of version " + std::to_string(file.version) +
                                                        " runs past the end (" + std::to_string(bytes.size()) +
                                                        " bytes)",
                              0);
        first = readLe32(bytes.data() + 24);
        const uint32_t headerSize = readLe32(bytes.data() + 28);
        if (first < 36 || first > bytes.size())
            return chunkError(ErrorCode::BadField,
                              "first chunk offset " + std::to_string(first) + " outside the file", 24);
        if (headerSize != 28)
            return chunkError(ErrorCode::Unsupported,
                              "chunk header size " + std::to_string(headerSize) + " (28 can be read)", 28);
    }
    TreeReader reader(bytes, thirdLayout);
    if (Status status = reader.readChunks(first, bytes.size(), 1, file.chunks); !status) {
        if (file.version == 1 || file.version == 3 || file.version == 4) return status;
        return Status::error(status.code(), status.message() + " (header version " + std::to_string(file.version) +
                                                ", read as version " + (thirdLayout ? "3" : "1") + ")");
    }
    return file;
}

std::span<const uint8_t> chunkData(std::span<const uint8_t> file, const ChunkyChunk& chunk) {
    if (chunk.dataOffset > file.size() || chunk.size > file.size() - chunk.dataOffset) return {};
    return file.subspan(static_cast<size_t>(chunk.dataOffset), chunk.size);
}

namespace {
void collect(const std::vector<ChunkyChunk>& chunks, std::string_view name, std::vector<const ChunkyChunk*>& out) {
    for (const ChunkyChunk& chunk : chunks) {
        if (chunk.is(name)) out.push_back(&chunk);
        collect(chunk.children, name, out);
    }
}
} // namespace

std::vector<const ChunkyChunk*> findChunks(const std::vector<ChunkyChunk>& chunks, std::string_view kindAndId) {
    std::vector<const ChunkyChunk*> out;
    collect(chunks, kindAndId, out);
    return out;
}

std::string describeChunk(const ChunkyChunk& chunk) {
    return chunk.kind + " " + chunk.id + " v" + std::to_string(chunk.version) + " \"" + chunk.name + "\" " +
           std::to_string(chunk.size) + " bytes at " + hex(chunk.offset);
}

} // namespace sga
