#pragma once
// A tiny encoder of test blocks: it writes the fields a test chooses into the
// bit layout of BC1 to BC5 and BC7 blocks, so that decoded pixels can be
// checked against values worked out by hand.

#include <array>
#include <cstdint>
#include <vector>

namespace sga::test {

// BC1: two RGB565 colours and 16 two-bit indices (pixel 0 first).
std::array<uint8_t, 8> bc1Block(uint16_t colour0, uint16_t colour1, const std::array<uint8_t, 16>& index);
// BC4 (and BC3's alpha half): two values and 16 three-bit indices.
std::array<uint8_t, 8> bc4Block(uint8_t value0, uint8_t value1, const std::array<uint8_t, 16>& index);
// BC2's alpha half: 16 four-bit alphas.
std::array<uint8_t, 8> bc2AlphaBlock(const std::array<uint8_t, 16>& alpha);

// The fields of one BC7 block, with the widths of the chosen mode.
struct Bc7Fields {
    int mode = 0;
    int partitionBits = 0, partition = 0;
    int rotationBits = 0, rotation = 0;
    int selectorBits = 0, selector = 0;
    int subsets = 1;
    int colourBits = 0, alphaBits = 0;
    std::array<std::array<uint32_t, 4>, 6> endpoints{};   // per endpoint: r, g, b, a (raw bits)
    int pBitsPerEndpoint = 0;                               // 1: one per endpoint
    int pBitsPerSubset = 0;                                 // 1: one shared per subset
    std::array<uint32_t, 6> pBits{};                        // per endpoint (or per subset)
    int indexBits = 0, secondIndexBits = 0;
    std::array<uint32_t, 16> index{}, secondIndex{};
    std::vector<int> anchors{0};                            // pixels whose index is one bit short
};
std::array<uint8_t, 16> bc7Block(const Bc7Fields& fields);

} // namespace sga::test
