#pragma once
// Relic Chunky files: a 16-byte signature, a version and a platform, then a
// tree of chunks. A FOLD chunk's data holds more chunks; a DATA chunk's data
// is its payload. Header versions 1 and 4 (20-byte chunk headers) and 3
// (28-byte chunk headers after a 36-byte file header) are read; another
// version is read by whichever of the two layouts its header matches.

#include "core/Status.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sga {

struct ChunkyChunk {
    std::string kind;        // "FOLD" or "DATA"
    std::string id;          // four characters, e.g. "TSET"
    uint32_t version = 0;
    std::string name;        // without the terminating NUL
    uint32_t size = 0;       // bytes of data
    uint64_t offset = 0;     // of the chunk's header in the file
    uint64_t dataOffset = 0; // of its data
    std::vector<ChunkyChunk> children;

    bool is(std::string_view kindAndId) const { return kindAndId == kind + id; }
};

struct ChunkyFile {
    uint32_t version = 0;
    uint32_t platform = 0;
    std::vector<ChunkyChunk> chunks;
};

// Chunks deeper than this are refused (a FOLD inside a FOLD inside ...).
inline constexpr int kMaxChunkDepth = 32;

bool looksLikeChunky(std::span<const uint8_t> bytes);

Expected<ChunkyFile> readChunky(std::span<const uint8_t> bytes);

// The chunk's data within the file's bytes (which must be the bytes it was read from).
std::span<const uint8_t> chunkData(std::span<const uint8_t> file, const ChunkyChunk& chunk);

// Every chunk named kindAndId ("DATAAEGD"), depth first in file order.
std::vector<const ChunkyChunk*> findChunks(const std::vector<ChunkyChunk>& chunks, std::string_view kindAndId);

// "FOLD TSET v1 \"name\" 1234 bytes at 0x24" (the name as stored; the caller makes it printable).
std::string describeChunk(const ChunkyChunk& chunk);

} // namespace sga
