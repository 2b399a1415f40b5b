#include "preview/RrtexDecoder.h"

#include "preview/BlockFormats.h"
#include "preview/ByteReader.h"
#include "preview/ChunkyReader.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>

namespace sga {
namespace {

constexpr uint32_t kBc7Code = 28;
constexpr uint32_t kMaxMipEntries = 32;
// zlib cannot expand data by more than about 1032 to 1; a piece claiming more
// is refused before anything is allocated for it.
constexpr uint64_t kMaxInflateRatio = 1032;

Status rrtexError(ErrorCode code, const std::string& what) { return Status::error(code, "RRTEX: " + what); }

struct Piece {
    uint32_t unpacked = 0;
    uint32_t stored = 0;
    uint64_t offset = 0;   // within DATATDAT
};

struct Header {
    uint32_t width = 0, height = 0, formatCode = 0, mipCount = 0;
    std::vector<std::vector<Piece>> entries;   // smallest mip first
};

Expected<Header> readHeader(std::span<const uint8_t> tman, uint64_t tmanOffset) {
    ByteReader r(tman, "RRTEX: DATATMAN at offset " + std::to_string(tmanOffset));
    Header h;
    uint32_t skip = 0;
    uint8_t flag = 0;
    uint32_t entryCount = 0;
    if (!r.u32(skip, "first field") || !r.u32(h.width, "width") || !r.u32(h.height, "height") ||
        !r.u32(skip, "fourth field") || !r.u32(skip, "fifth field") || !r.u32(h.formatCode, "format code") ||
        !r.u32(h.mipCount, "mip count") || !r.u8(flag, "flag byte") || !r.u32(entryCount, "mip entry count"))
        return r.error();
    if (h.formatCode != kBc7Code)
        return rrtexError(ErrorCode::Unsupported, "format code " + std::to_string(h.formatCode) +
                                                      " cannot be shown (28, BC7, can)");
    if (Status size = checkTextureSize("RRTEX", h.width, h.height); !size) return size;
    if (entryCount == 0 || entryCount > kMaxMipEntries)
        return rrtexError(ErrorCode::BadField, "mip entry count " + std::to_string(entryCount) +
                                                   " at offset 29 of DATATMAN is not 1 to " +
                                                   std::to_string(kMaxMipEntries));
    std::vector<uint32_t> counts(entryCount);
    for (uint32_t& count : counts) {
        if (!r.u32(count, "piece count")) return r.error();
        if (count == 0 || count > r.size() / 8)
            return rrtexError(ErrorCode::BadField, "piece count " + std::to_string(count) + " at offset " +
                                                       std::to_string(r.offset() - 4) + " of DATATMAN");
    }
    uint64_t offset = 4;   // DATATDAT starts with a u32 before the pieces
    for (uint32_t count : counts) {
        std::vector<Piece> pieces(count);
        for (Piece& piece : pieces) {
            if (!r.u32(piece.unpacked, "unpacked size") || !r.u32(piece.stored, "stored size")) return r.error();
            piece.offset = offset;
            offset += piece.stored;
        }
        h.entries.push_back(std::move(pieces));
    }
    return h;
}

// Joins the pieces of one entry into its mip record.
Expected<std::vector<uint8_t>> joinPieces(const std::vector<Piece>& pieces, size_t entry,
                                          std::span<const uint8_t> tdat) {
    uint64_t total = 0;
    for (const Piece& piece : pieces) total += piece.unpacked;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        const std::string where = "piece " + std::to_string(i + 1) + " of mip entry " + std::to_string(entry + 1);
        if (p.offset + p.stored > tdat.size())
            return rrtexError(ErrorCode::Truncated, where + " (" + std::to_string(p.stored) + " bytes at offset " +
                                                        std::to_string(p.offset) + " of DATATDAT) runs past its end (" +
                                                        std::to_string(tdat.size()) + " bytes)");
        if (p.stored > p.unpacked)
            return rrtexError(ErrorCode::BadField, where + " stores " + std::to_string(p.stored) + " bytes for " +
                                                       std::to_string(p.unpacked) + " unpacked");
        if (p.stored < p.unpacked && p.unpacked > p.stored * kMaxInflateRatio + 64)
            return rrtexError(ErrorCode::BadField, where + " claims " + std::to_string(p.unpacked) + " bytes from " +
                                                       std::to_string(p.stored) + " of zlib data");
    }
    std::vector<uint8_t> record(static_cast<size_t>(total));
    std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> inflater(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!inflater) return rrtexError(ErrorCode::NoMemory, "no memory for inflating");
    size_t at = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        const uint8_t* in = tdat.data() + p.offset;
        if (p.stored == p.unpacked) {
            std::copy_n(in, p.stored, record.data() + at);
        } else if (libdeflate_zlib_decompress(inflater.get(), in, p.stored, record.data() + at, p.unpacked, nullptr) !=
                   LIBDEFLATE_SUCCESS) {
            return rrtexError(ErrorCode::BadData, "piece " + std::to_string(i + 1) + " of mip entry " +
                                                      std::to_string(entry + 1) + " is not a zlib stream of " +
                                                      std::to_string(p.unpacked) + " bytes");
        }
        at += p.unpacked;
    }
    return record;
}

} // namespace

Expected<Picture> decodeRrtex(std::span<const uint8_t> bytes) {
    auto file = readChunky(bytes);
    if (!file) return Status::error(file.status().code(), "RRTEX: " + file.message());
    const auto tmans = findChunks(file->chunks, "DATATMAN");
    const auto tdats = findChunks(file->chunks, "DATATDAT");
    if (tmans.empty()) return rrtexError(ErrorCode::BadField, "no DATATMAN chunk");
    if (tdats.empty()) return rrtexError(ErrorCode::BadField, "no DATATDAT chunk");
    auto header = readHeader(chunkData(bytes, *tmans[0]), tmans[0]->offset);
    if (!header) return header.status();

    // Entries run smallest first: the last holds level 0.
    const size_t last = header->entries.size() - 1;
    // The record holds its 16-byte head and the level's blocks: nothing larger is unpacked.
    uint64_t unpacked = 0;
    for (const Piece& piece : header->entries[last]) unpacked += piece.unpacked;
    const uint64_t largest = 16 + blockLevelBytes(BlockFormat::BC7, header->width, header->height);
    if (unpacked > largest)
        return rrtexError(ErrorCode::BadField, "mip entry " + std::to_string(last + 1) + " unpacks to " +
                                                   std::to_string(unpacked) + " bytes; a " +
                                                   std::to_string(header->width) + " x " +
                                                   std::to_string(header->height) + " BC7 record has at most " +
                                                   std::to_string(largest));
    auto record = joinPieces(header->entries[last], last, chunkData(bytes, *tdats[0]));
    if (!record) return record.status();
    ByteReader r(*record, "RRTEX: mip record " + std::to_string(last + 1));
    uint32_t level = 0, width = 0, height = 0, count = 0;
    if (!r.u32(level, "level") || !r.u32(width, "width") || !r.u32(height, "height") || !r.u32(count, "byte count"))
        return r.error();
    if (level != 0 || width != header->width || height != header->height)
        return rrtexError(ErrorCode::BadField, "the largest mip record is level " + std::to_string(level) + " of " +
                                                   std::to_string(width) + " x " + std::to_string(height) +
                                                   ", not level 0 of " + std::to_string(header->width) + " x " +
                                                   std::to_string(header->height));
    const uint64_t needed = blockLevelBytes(BlockFormat::BC7, width, height);
    if (count < needed || count > r.remaining())
        return rrtexError(ErrorCode::Truncated, "mip record " + std::to_string(last + 1) + " holds " +
                                                    std::to_string(std::min<uint64_t>(count, r.remaining())) +
                                                    " bytes of blocks; " + std::to_string(width) + " x " +
                                                    std::to_string(height) + " needs " + std::to_string(needed));
    std::span<const uint8_t> blocks;
    if (!r.bytes(blocks, count, "blocks")) return r.error();
    auto rgba = decodeBlocks(BlockFormat::BC7, blocks, width, height);
    if (!rgba) return rgba.status();
    Picture picture;
    picture.width = static_cast<int32_t>(width);
    picture.height = static_cast<int32_t>(height);
    picture.format = "BC7";
    picture.mipCount = static_cast<int32_t>(std::min<uint32_t>(header->mipCount, 1u << 30));
    picture.rgba = std::move(*rgba);
    return picture;
}

} // namespace sga
