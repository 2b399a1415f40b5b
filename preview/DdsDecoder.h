#pragma once
// DDS textures: the first mip level of the first face or array slice, from
// BC1 to BC5, BC7 and uncompressed 24- and 32-bit pixels, with a legacy FourCC
// header or the DX10 extension.

#include "core/Status.h"
#include "preview/TextureSize.h"

#include <cstdint>
#include <span>

namespace sga {

// True when bytes begin with the DDS magic.
bool looksLikeDds(std::span<const uint8_t> bytes);

Expected<Picture> decodeDds(std::span<const uint8_t> bytes);

} // namespace sga
