// BC1 to BC3 through libsquish; BC4 and BC5 here (the library's decoder
// takes only the colour and alpha blocks of BC1 to BC3); BC7 in Bc7Block.cpp.
#include "preview/BlockFormats.h"

#include <squish.h>

#include <algorithm>

namespace sga {

const char* blockFormatName(BlockFormat format) {
    switch (format) {
    case BlockFormat::BC1: return "BC1";
    case BlockFormat::BC2: return "BC2";
    case BlockFormat::BC3: return "BC3";
    case BlockFormat::BC4: return "BC4";
    case BlockFormat::BC5: return "BC5";
    case BlockFormat::BC7: return "BC7";
    }
    return "BC?";
}

uint32_t blockBytes(BlockFormat format) {
    return format == BlockFormat::BC1 || format == BlockFormat::BC4 ? 8 : 16;
}

uint64_t blockLevelBytes(BlockFormat format, uint64_t width, uint64_t height) {
    return ((width + 3) / 4) * ((height + 3) / 4) * blockBytes(format);
}

void decodeBc4Block(const uint8_t block[8], uint8_t values[16]) {
    const uint32_t v0 = block[0];
    const uint32_t v1 = block[1];
    uint8_t palette[8] = {static_cast<uint8_t>(v0), static_cast<uint8_t>(v1)};
    if (v0 > v1) {
        for (uint32_t i = 1; i < 7; ++i) palette[i + 1] = static_cast<uint8_t>(((7 - i) * v0 + i * v1) / 7);
    } else {
        for (uint32_t i = 1; i < 5; ++i) palette[i + 1] = static_cast<uint8_t>(((5 - i) * v0 + i * v1) / 5);
        palette[6] = 0;
        palette[7] = 255;
    }
    uint64_t indices = 0;
    for (int i = 0; i < 6; ++i) indices |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int pixel = 0; pixel < 16; ++pixel) values[pixel] = palette[(indices >> (3 * pixel)) & 7];
}

namespace {

void decodeOneBlock(BlockFormat format, const uint8_t* block, uint8_t rgba[64]) {
    switch (format) {
    case BlockFormat::BC1: squish::Decompress(rgba, block, squish::kDxt1); return;
    case BlockFormat::BC2: squish::Decompress(rgba, block, squish::kDxt3); return;
    case BlockFormat::BC3: squish::Decompress(rgba, block, squish::kDxt5); return;
    case BlockFormat::BC7: decodeBc7Block(block, rgba); return;
    case BlockFormat::BC4:
    case BlockFormat::BC5: {
        uint8_t red[16];
        uint8_t green[16] = {};
        decodeBc4Block(block, red);
        if (format == BlockFormat::BC5) decodeBc4Block(block + 8, green);
        for (int pixel = 0; pixel < 16; ++pixel) {
            uint8_t* out = rgba + 4 * pixel;
            out[0] = red[pixel];
            out[1] = format == BlockFormat::BC4 ? red[pixel] : green[pixel];
            out[2] = format == BlockFormat::BC4 ? red[pixel] : 0;
            out[3] = 255;
        }
        return;
    }
    }
}

} // namespace

Expected<std::vector<uint8_t>> decodeBlocks(BlockFormat format, std::span<const uint8_t> blocks,
                                            uint32_t width, uint32_t height) {
    const uint64_t needed = blockLevelBytes(format, width, height);
    if (width == 0 || height == 0 || blocks.size() < needed)
        return Status::error(ErrorCode::Truncated, std::string(blockFormatName(format)) + ": " +
                                                       std::to_string(blocks.size()) + " bytes for " +
                                                       std::to_string(width) + " x " +
                                                       std::to_string(height) + " pixels, which need " +
                                                       std::to_string(needed));
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    const uint32_t across = (width + 3) / 4;
    const uint32_t down = (height + 3) / 4;
    const uint8_t* block = blocks.data();
    uint8_t pixels[64];
    for (uint32_t by = 0; by < down; ++by) {
        for (uint32_t bx = 0; bx < across; ++bx, block += blockBytes(format)) {
            decodeOneBlock(format, block, pixels);
            const uint32_t rows = std::min<uint32_t>(4, height - by * 4);
            const uint32_t columns = std::min<uint32_t>(4, width - bx * 4);
            for (uint32_t y = 0; y < rows; ++y) {
                uint8_t* out = rgba.data() + ((static_cast<size_t>(by) * 4 + y) * width + bx * 4) * 4;
                std::copy_n(pixels + y * 16, columns * 4, out);
            }
        }
    }
    return rgba;
}

} // namespace sga
