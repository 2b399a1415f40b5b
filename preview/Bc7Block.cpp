// The BC7 block decoder, written from the public block description: eight
// modes told apart by the position of the first set bit, up to three subsets
// chosen from 64 partition shapes, and one index bit saved at each subset's
// anchor pixel.
#include "preview/BlockFormats.h"

#include <algorithm>
#include <cstring>

namespace sga {
namespace {

struct ModeLayout {
    uint8_t subsets;
    uint8_t partitionBits;
    uint8_t rotationBits;
    uint8_t selectorBits;
    uint8_t colourBits;
    uint8_t alphaBits;
    uint8_t endpointPBits;   // one p-bit per endpoint
    uint8_t sharedPBits;     // one p-bit per subset
    uint8_t indexBits;
    uint8_t secondIndexBits;
};

constexpr ModeLayout kModes[8] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0}, {2, 6, 0, 0, 6, 0, 0, 1, 3, 0},
    {3, 6, 0, 0, 5, 0, 0, 0, 2, 0}, {2, 6, 0, 0, 7, 0, 1, 0, 2, 0},
    {1, 0, 2, 1, 5, 6, 0, 0, 2, 3}, {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0}, {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};

// Two subsets: bit i is the subset of pixel i.
constexpr uint16_t kPartitions2[64] = {
    0xCCCC, 0x8888, 0xEEEE, 0xECC8, 0xC880, 0xFEEC, 0xFEC8, 0xEC80,
    0xC800, 0xFFEC, 0xFE80, 0xE800, 0xFFE8, 0xFF00, 0xFFF0, 0xF000,
    0xF710, 0x008E, 0x7100, 0x08CE, 0x008C, 0x7310, 0x3100, 0x8CCE,
    0x088C, 0x3110, 0x6666, 0x366C, 0x17E8, 0x0FF0, 0x718E, 0x399C,
    0xAAAA, 0xF0F0, 0x5A5A, 0x33CC, 0x3C3C, 0x55AA, 0x9696, 0xA55A,
    0x73CE, 0x13C8, 0x324C, 0x3BDC, 0x6996, 0xC33C, 0x9966, 0x0660,
    0x0272, 0x04E4, 0x4E40, 0x2720, 0xC936, 0x936C, 0x39C6, 0x639C,
    0x9336, 0x9CC6, 0x817E, 0xE718, 0xCCF0, 0x0FCC, 0x7744, 0xEE22,
};

// Three subsets: bits 2i and 2i+1 are the subset of pixel i.
constexpr uint32_t kPartitions3[64] = {
    0xAA685050, 0x6A5A5040, 0x5A5A4200, 0x5450A0A8, 0xA5A50000, 0xA0A05050,
    0x5555A0A0, 0x5A5A5050, 0xAA550000, 0xAA555500, 0xAAAA5500, 0x90909090,
    0x94949494, 0xA4A4A4A4, 0xA9A59450, 0x2A0A4250, 0xA5945040, 0x0A425054,
    0xA5A5A500, 0x55A0A0A0, 0xA8A85454, 0x6A6A4040, 0xA4A45000, 0x1A1A0500,
    0x0050A4A4, 0xAAA59090, 0x14696914, 0x69691400, 0xA08585A0, 0xAA821414,
    0x50A4A450, 0x6A5A0200, 0xA9A58000, 0x5090A0A8, 0xA8A09050, 0x24242424,
    0x00AA5500, 0x24924924, 0x24499224, 0x50A50A50, 0x500AA550, 0xAAAA4444,
    0x66660000, 0xA5A0A5A0, 0x50A050A0, 0x69286928, 0x44AAAA44, 0x66666600,
    0xAA444444, 0x54A854A8, 0x95809580, 0x96969600, 0xA85454A8, 0x80959580,
    0xAA141414, 0x96960000, 0xAAAA1414, 0xA05050A0, 0xA0A5A5A0, 0x96000000,
    0x40804080, 0xA9A8A9A8, 0xAAAAAA44, 0x2A4A5254,
};

// The anchor pixel of subset 1 with two subsets, of subsets 1 and 2 with three
// (subset 0's anchor is always pixel 0).
constexpr uint8_t kAnchor2Of2[64] = {
    15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15,
    15, 2,  8,  2,  2,  8,  8,  15, 2,  8,  2,  2,  8,  8,  2,  2,
    15, 15, 6,  8,  2,  8,  15, 15, 2,  8,  2,  2,  2,  15, 15, 6,
    6,  2,  6,  8,  15, 15, 2,  2,  15, 15, 15, 15, 15, 2,  2,  15,
};
constexpr uint8_t kAnchor2Of3[64] = {
    3,  3,  15, 15, 8,  3,  15, 15, 8,  8,  6,  6,  6,  5,  3,  3,
    3,  3,  8,  15, 3,  3,  6,  10, 5,  8,  8,  6,  8,  5,  15, 15,
    8,  15, 3,  5,  6,  10, 8,  15, 15, 3,  15, 5,  15, 15, 15, 15,
    3,  15, 5,  5,  5,  8,  5,  10, 5,  10, 8,  13, 15, 12, 3,  3,
};
constexpr uint8_t kAnchor3Of3[64] = {
    15, 8,  8,  3,  15, 15, 3,  8,  15, 15, 15, 15, 15, 15, 15, 8,
    15, 8,  15, 3,  15, 8,  15, 8,  3,  15, 6,  10, 15, 15, 10, 8,
    15, 3,  15, 10, 10, 8,  9,  10, 6,  15, 8,  15, 3,  6,  6,  8,
    15, 3,  15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 3,  15, 15, 8,
};

constexpr uint8_t kWeights2[4] = {0, 21, 43, 64};
constexpr uint8_t kWeights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
constexpr uint8_t kWeights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

// Reads the block's 128 bits from the least significant bit of byte 0 on.
class BitReader {
public:
    explicit BitReader(const uint8_t* block) : block_(block) {}
    uint32_t take(unsigned count) {
        uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i, ++position_)
            value |= static_cast<uint32_t>((block_[position_ >> 3] >> (position_ & 7)) & 1u) << i;
        return value;
    }

private:
    const uint8_t* block_;
    unsigned position_ = 0;
};

uint8_t interpolate(uint8_t e0, uint8_t e1, uint32_t index, unsigned bits) {
    const uint8_t* weights = bits == 2 ? kWeights2 : bits == 3 ? kWeights3 : kWeights4;
    const uint32_t w = weights[index];
    return static_cast<uint8_t>(((64 - w) * e0 + w * e1 + 32) >> 6);
}

// Widens a value of precision bits to 8 by repeating its top bits below.
uint8_t widen(uint32_t value, unsigned precision) {
    value <<= 8 - precision;
    return static_cast<uint8_t>(value | (value >> precision));
}

unsigned subsetOf(const ModeLayout& mode, uint32_t partition, unsigned pixel) {
    if (mode.subsets == 2) return (kPartitions2[partition] >> pixel) & 1u;
    if (mode.subsets == 3) return (kPartitions3[partition] >> (2 * pixel)) & 3u;
    return 0;
}

bool isAnchor(const ModeLayout& mode, uint32_t partition, unsigned pixel) {
    if (pixel == 0) return true;
    if (mode.subsets == 2) return pixel == kAnchor2Of2[partition];
    if (mode.subsets == 3) return pixel == kAnchor2Of3[partition] || pixel == kAnchor3Of3[partition];
    return false;
}

} // namespace

void decodeBc7Block(const uint8_t block[16], uint8_t rgba[64]) {
    unsigned modeNumber = 0;
    while (modeNumber < 8 && !(block[0] & (1u << modeNumber))) ++modeNumber;
    if (modeNumber == 8) {
        std::memset(rgba, 0, 64);
        return;
    }
    const ModeLayout& mode = kModes[modeNumber];
    BitReader bits(block);
    bits.take(modeNumber + 1);
    const uint32_t partition = bits.take(mode.partitionBits);
    const uint32_t rotation = bits.take(mode.rotationBits);
    const uint32_t selector = bits.take(mode.selectorBits);

    const unsigned endpoints = 2u * mode.subsets;
    uint32_t raw[6][4] = {};
    for (unsigned channel = 0; channel < 3; ++channel)
        for (unsigned e = 0; e < endpoints; ++e) raw[e][channel] = bits.take(mode.colourBits);
    for (unsigned e = 0; e < endpoints; ++e) raw[e][3] = bits.take(mode.alphaBits);

    unsigned colourPrecision = mode.colourBits;
    unsigned alphaPrecision = mode.alphaBits;
    if (mode.endpointPBits || mode.sharedPBits) {
        uint32_t pbits[6] = {};
        if (mode.endpointPBits) {
            for (unsigned e = 0; e < endpoints; ++e) pbits[e] = bits.take(1);
        } else {
            for (unsigned s = 0; s < mode.subsets; ++s) pbits[2 * s] = pbits[2 * s + 1] = bits.take(1);
        }
        for (unsigned e = 0; e < endpoints; ++e)
            for (unsigned channel = 0; channel < 4; ++channel) raw[e][channel] = (raw[e][channel] << 1) | pbits[e];
        ++colourPrecision;
        if (alphaPrecision) ++alphaPrecision;
    }
    uint8_t endpoint[6][4];
    for (unsigned e = 0; e < endpoints; ++e) {
        for (unsigned channel = 0; channel < 3; ++channel)
            endpoint[e][channel] = widen(raw[e][channel], colourPrecision);
        endpoint[e][3] = alphaPrecision ? widen(raw[e][3], alphaPrecision) : 255;
    }

    uint32_t index[16];
    uint32_t secondIndex[16] = {};
    for (unsigned pixel = 0; pixel < 16; ++pixel)
        index[pixel] = bits.take(mode.indexBits - (isAnchor(mode, partition, pixel) ? 1 : 0));
    if (mode.secondIndexBits)
        for (unsigned pixel = 0; pixel < 16; ++pixel)
            secondIndex[pixel] = bits.take(mode.secondIndexBits - (pixel == 0 ? 1 : 0));

    for (unsigned pixel = 0; pixel < 16; ++pixel) {
        const unsigned subset = subsetOf(mode, partition, pixel);
        const uint8_t* e0 = endpoint[2 * subset];
        const uint8_t* e1 = endpoint[2 * subset + 1];
        uint32_t colourIndex = index[pixel];
        unsigned colourBits = mode.indexBits;
        uint32_t alphaIndex = colourIndex;
        unsigned alphaBits = colourBits;
        if (mode.secondIndexBits) {
            alphaIndex = secondIndex[pixel];
            alphaBits = mode.secondIndexBits;
            if (selector) {
                std::swap(colourIndex, alphaIndex);
                std::swap(colourBits, alphaBits);
            }
        }
        uint8_t* out = rgba + 4 * pixel;
        for (unsigned channel = 0; channel < 3; ++channel)
            out[channel] = interpolate(e0[channel], e1[channel], colourIndex, colourBits);
        out[3] = interpolate(e0[3], e1[3], alphaIndex, alphaBits);
        if (rotation) std::swap(out[3], out[rotation - 1]);
    }
}

} // namespace sga
