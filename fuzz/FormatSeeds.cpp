#include "fuzz/FormatSeeds.h"

#include "preview/tests/BlockEncoder.h"
#include "preview/tests/ChunkyBuilder.h"
#include "preview/tests/TextureBuilders.h"

#include <zlib.h>

namespace sga::fuzz {
namespace {

using sga::testing::Bytes;
using test::appendLe32;
using test::TestChunk;

Bytes bc7Blocks(int count) {
    Bytes out;
    test::Bc7Fields mode6;
    mode6.mode = 6;
    mode6.colourBits = mode6.alphaBits = 7;
    mode6.pBitsPerEndpoint = 1;
    mode6.indexBits = 4;
    mode6.endpoints[1] = {127, 60, 3, 127};
    for (int i = 0; i < 16; ++i) mode6.index[i] = static_cast<uint32_t>(i % 8);
    for (int i = 0; i < count; ++i) {
        const auto block = test::bc7Block(mode6);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

Bytes rrtex() {
    Bytes record;
    for (uint32_t v : {0u, 8u, 8u, 64u}) appendLe32(record, v);
    const Bytes blocks = bc7Blocks(4);
    record.insert(record.end(), blocks.begin(), blocks.end());
    uLongf packedSize = compressBound(record.size());
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, record.data(), record.size(), 9);
    packed.resize(packedSize);
    Bytes tman;
    for (uint32_t v : {6u, 8u, 8u, 1u, 2u, 28u, 1u}) appendLe32(tman, v);
    tman.push_back(0);
    for (uint32_t v : {1u, 1u, static_cast<uint32_t>(record.size()), static_cast<uint32_t>(packed.size())})
        appendLe32(tman, v);
    Bytes tdat;
    appendLe32(tdat, 6);
    tdat.insert(tdat.end(), packed.begin(), packed.end());
    return test::chunkyFile(4, {TestChunk{"FOLDTSET", 1, "", {}, {
        TestChunk{"FOLDTXTR", 2, "t.rrtex", {}, {TestChunk{"FOLDDXTC", 6, "", {}, {
            TestChunk{"DATATMAN", 2, "", tman, {}}, TestChunk{"DATATDAT", 1, "", tdat, {}}}}}}}}});
}

Bytes rgd(bool second) {
    const auto descriptor = [second](Bytes& out, uint32_t key, uint32_t type, uint32_t offset) {
        appendLe32(out, key);
        if (second) appendLe32(out, 0);   // the high half of a 64-bit key
        appendLe32(out, type);
        appendLe32(out, offset);
    };
    Bytes inner;
    appendLe32(inner, 2);
    descriptor(inner, 7, 0, 0);
    descriptor(inner, 8, 3, 4);
    appendLe32(inner, 0x44480000);   // 800.0
    for (char c : std::string("name")) inner.push_back(static_cast<uint8_t>(c));
    inner.push_back(0);
    Bytes table;
    appendLe32(table, 1);
    descriptor(table, 9, 100, 0);
    table.insert(table.end(), inner.begin(), inner.end());
    Bytes payload;
    if (second) {
        appendLe32(payload, 1);
        payload.insert(payload.end(), table.begin(), table.end());
        Bytes keys;
        appendLe32(keys, 1);
        for (uint32_t v : {9u, 0u, 4u}) appendLe32(keys, v);
        for (char c : std::string("root")) keys.push_back(static_cast<uint8_t>(c));
        return test::chunkyFile(4, {TestChunk{"DATAKEYS", 1, "", keys, {}}, TestChunk{"DATAAEGD", 1, "", payload, {}}});
    }
    appendLe32(payload, 0);
    appendLe32(payload, static_cast<uint32_t>(table.size()));
    payload.insert(payload.end(), table.begin(), table.end());
    return test::chunkyFile(1, {TestChunk{"FOLDAEGD", 1, "", {}, {TestChunk{"DATAAEGD", 1, "", payload, {}}}}});
}

} // namespace

std::vector<FormatSeed> formatSeeds() {
    std::vector<FormatSeed> seeds;
    test::DdsHeader dxt1;
    dxt1.fourCc = "DXT1";
    dxt1.width = dxt1.height = 8;
    dxt1.mips = 2;
    seeds.push_back({"dds", "dxt1-8x8.dds", test::ddsFile(dxt1, Bytes(40, 0x5A))});
    test::DdsHeader bc7;
    bc7.fourCc = "DX10";
    bc7.dxgi = 98;
    seeds.push_back({"dds", "bc7-4x4.dds", test::ddsFile(bc7, bc7Blocks(1))});
    test::DdsHeader bgra;
    bgra.width = 3;
    bgra.height = 2;
    seeds.push_back({"dds", "bgra-3x2.dds", test::ddsFile(bgra, Bytes(24, 0x80))});
    Bytes sides = {7, 3};
    const Bytes blocks = bc7Blocks(2);
    sides.insert(sides.end(), blocks.begin(), blocks.end());
    seeds.push_back({"bc7", "8x4-mode6.bin", sides});
    seeds.push_back({"rrtex", "bc7-8x8.rrtex", rrtex()});
    seeds.push_back({"chunky", "v3-tree.bin",
                     test::chunkyFile(3, {TestChunk{"FOLDMODL", 2, "body", {}, {TestChunk{"DATAMESH", 1, "", {1, 2}, {}}}}})});
    seeds.push_back({"chunky", "rrtex-v4.bin", rrtex()});
    seeds.push_back({"rgd", "first-generation.rgd", rgd(false)});
    seeds.push_back({"rgd", "second-generation.rgd", rgd(true)});
    return seeds;
}

} // namespace sga::fuzz
