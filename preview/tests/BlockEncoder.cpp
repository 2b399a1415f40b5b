#include "preview/tests/BlockEncoder.h"

#include <algorithm>
#include <stdexcept>

namespace sga::test {
namespace {

class BitWriter {
public:
    void put(uint64_t value, int count) {
        if (count > 0 && (value >> count) != 0) throw std::logic_error("field value wider than its bits");
        for (int i = 0; i < count; ++i, ++position_)
            if ((value >> i) & 1) bytes_[position_ / 8] |= static_cast<uint8_t>(1u << (position_ % 8));
    }
    std::array<uint8_t, 16> finish() const {
        if (position_ != 128) throw std::logic_error("BC7 fields do not fill 128 bits");
        return bytes_;
    }

private:
    std::array<uint8_t, 16> bytes_{};
    int position_ = 0;
};

} // namespace

std::array<uint8_t, 8> bc1Block(uint16_t colour0, uint16_t colour1, const std::array<uint8_t, 16>& index) {
    uint32_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= static_cast<uint32_t>(index[i] & 3) << (2 * i);
    return {static_cast<uint8_t>(colour0), static_cast<uint8_t>(colour0 >> 8), static_cast<uint8_t>(colour1),
            static_cast<uint8_t>(colour1 >> 8), static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
            static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

std::array<uint8_t, 8> bc4Block(uint8_t value0, uint8_t value1, const std::array<uint8_t, 16>& index) {
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= static_cast<uint64_t>(index[i] & 7) << (3 * i);
    std::array<uint8_t, 8> block{value0, value1};
    for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
    return block;
}

std::array<uint8_t, 8> bc2AlphaBlock(const std::array<uint8_t, 16>& alpha) {
    std::array<uint8_t, 8> block{};
    for (int i = 0; i < 16; ++i) block[i / 2] |= static_cast<uint8_t>((alpha[i] & 15) << (4 * (i % 2)));
    return block;
}

std::array<uint8_t, 16> bc7Block(const Bc7Fields& f) {
    BitWriter out;
    out.put(1u << f.mode, f.mode + 1);
    out.put(f.partition, f.partitionBits);
    out.put(f.rotation, f.rotationBits);
    out.put(f.selector, f.selectorBits);
    const int endpoints = 2 * f.subsets;
    for (int channel = 0; channel < 3; ++channel)
        for (int e = 0; e < endpoints; ++e) out.put(f.endpoints[e][channel], f.colourBits);
    for (int e = 0; e < endpoints; ++e) out.put(f.endpoints[e][3], f.alphaBits);
    for (int e = 0; e < endpoints * f.pBitsPerEndpoint; ++e) out.put(f.pBits[e], 1);
    for (int s = 0; s < f.subsets * f.pBitsPerSubset; ++s) out.put(f.pBits[s], 1);
    for (int pixel = 0; pixel < 16; ++pixel) {
        const bool anchor = std::find(f.anchors.begin(), f.anchors.end(), pixel) != f.anchors.end();
        out.put(f.index[pixel], f.indexBits - (anchor ? 1 : 0));
    }
    if (f.secondIndexBits)
        for (int pixel = 0; pixel < 16; ++pixel) out.put(f.secondIndex[pixel], f.secondIndexBits - (pixel == 0 ? 1 : 0));
    return out.finish();
}

} // namespace sga::test
