#pragma once
// DDS files built in code for the tests.

#include <cstdint>
#include <string>
#include <vector>

namespace sga::test {

inline void putLe32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    if (out.size() < at + 4) out.resize(at + 4);
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
inline void appendLe32(std::vector<uint8_t>& out, uint32_t value) { putLe32(out, out.size(), value); }

struct DdsHeader {
    uint32_t width = 4, height = 4, mips = 1;
    std::string fourCc;            // "DXT1", "DX10", ... or "" for RGB pixels
    uint32_t dxgi = 0;             // with "DX10"
    uint32_t bits = 32;            // RGB pixels
    uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    bool alphaPixels = true;
};

// The magic, the 124-byte header, the DX10 extension when asked for, then data.
inline std::vector<uint8_t> ddsFile(const DdsHeader& h, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
    out.resize(128);
    putLe32(out, 4, 124);
    putLe32(out, 8, 0x1007 | (h.mips > 1 ? 0x20000 : 0));
    putLe32(out, 12, h.height);
    putLe32(out, 16, h.width);
    putLe32(out, 28, h.mips);
    putLe32(out, 76, 32);
    if (!h.fourCc.empty()) {
        putLe32(out, 80, 0x4);
        for (int i = 0; i < 4; ++i) out[84 + i] = static_cast<uint8_t>(h.fourCc[i]);
    } else {
        putLe32(out, 80, 0x40 | (h.alphaPixels ? 0x1 : 0));
        putLe32(out, 88, h.bits);
        for (int i = 0; i < 4; ++i) putLe32(out, 92 + 4 * i, h.masks[i]);
    }
    putLe32(out, 108, 0x1000);
    if (h.fourCc == "DX10") {
        appendLe32(out, h.dxgi);
        appendLe32(out, 3);
        appendLe32(out, 0);
        appendLe32(out, 1);
        appendLe32(out, 0);
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

} // namespace sga::test
