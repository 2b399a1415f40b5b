#pragma once
// Block-compressed textures (BC1 to BC5 and BC7): each 4x4 pixel block is 8
// or 16 bytes, blocks run in rows of ceil(width / 4).

#include "core/Status.h"

#include <cstdint>
#include <span>
#include <vector>

namespace sga {

enum class BlockFormat { BC1, BC2, BC3, BC4, BC5, BC7 };

const char* blockFormatName(BlockFormat format);
uint32_t blockBytes(BlockFormat format);   // 8 or 16

// The bytes of one mip level of width x height (sides at least 1).
uint64_t blockLevelBytes(BlockFormat format, uint64_t width, uint64_t height);

// Decodes one level into width * height RGBA pixels. blocks must hold at least
// blockLevelBytes; the sides must already be checked against the texture limit.
// BC4 shows as grey, BC5 as red and green with blue 0; both opaque.
Expected<std::vector<uint8_t>> decodeBlocks(BlockFormat format, std::span<const uint8_t> blocks,
                                            uint32_t width, uint32_t height);

// One BC7 block into 16 RGBA pixels, row by row. A block of the reserved mode
// (first byte 0) decodes to transparent black, as the block description says.
void decodeBc7Block(const uint8_t block[16], uint8_t rgba[64]);

// One BC4 block (also the alpha half of BC3 and each half of BC5) into 16 values.
void decodeBc4Block(const uint8_t block[8], uint8_t values[16]);

} // namespace sga
