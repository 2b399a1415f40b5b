// The Relic Chunky reader on arbitrary bytes: every chunk it accepts lies
// within the file and within its parent, no deeper than the cap.

#include "fuzz/FuzzSupport.h"
#include "preview/ChunkyReader.h"

namespace {

void checkChunks(const std::vector<sga::ChunkyChunk>& chunks, uint64_t begin, uint64_t end, int depth) {
    FUZZ_CHECK(depth <= sga::kMaxChunkDepth);
    for (const sga::ChunkyChunk& chunk : chunks) {
        FUZZ_CHECK(chunk.offset >= begin && chunk.dataOffset >= chunk.offset);
        FUZZ_CHECK(chunk.dataOffset + chunk.size <= end);
        FUZZ_CHECK(chunk.kind == "FOLD" || chunk.kind == "DATA");
        FUZZ_CHECK(chunk.kind == "FOLD" || chunk.children.empty());
        checkChunks(chunk.children, chunk.dataOffset, chunk.dataOffset + chunk.size, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto file = sga::readChunky(std::span<const uint8_t>(data, size));
    if (!file) {
        FUZZ_CHECK(!file.message().empty());
        return 0;
    }
    checkChunks(file->chunks, 0, size, 1);
    return 0;
}
