#pragma once
// Relic Chunky files built in code for the tests.

#include "preview/tests/TextureBuilders.h"

#include <string>
#include <vector>

namespace sga::test {

struct TestChunk {
    std::string kindAndId;       // "FOLDTSET"
    uint32_t version = 1;
    std::string name;            // written with a NUL when not empty
    std::vector<uint8_t> data;   // DATA payload
    std::vector<TestChunk> children;
};

inline std::vector<uint8_t> chunkBytes(const TestChunk& chunk, uint32_t fileVersion) {
    std::vector<uint8_t> data = chunk.data;
    for (const TestChunk& child : chunk.children) {
        const auto bytes = chunkBytes(child, fileVersion);
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    std::vector<uint8_t> out(chunk.kindAndId.begin(), chunk.kindAndId.end());
    appendLe32(out, chunk.version);
    appendLe32(out, static_cast<uint32_t>(data.size()));
    appendLe32(out, static_cast<uint32_t>(chunk.name.empty() ? 0 : chunk.name.size() + 1));
    if (fileVersion == 3) {
        appendLe32(out, 0);
        appendLe32(out, 0);
    }
    out.insert(out.end(), chunk.name.begin(), chunk.name.end());
    if (!chunk.name.empty()) out.push_back(0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline std::vector<uint8_t> chunkyFile(uint32_t version, const std::vector<TestChunk>& chunks) {
    const std::string signature("Relic Chunky\x0D\x0A\x1A\x00", 16);
    std::vector<uint8_t> out(signature.begin(), signature.end());
    appendLe32(out, version);
    appendLe32(out, 1);
    if (version == 3) {
        appendLe32(out, 36);
        appendLe32(out, 28);
        appendLe32(out, 1);
    }
    for (const TestChunk& chunk : chunks) {
        const auto bytes = chunkBytes(chunk, version);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

} // namespace sga::test
