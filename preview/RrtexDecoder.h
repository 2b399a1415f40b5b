#pragma once
// RRTEX textures: a Relic Chunky file whose DATATMAN chunk describes the
// texture and its mip records, and whose DATATDAT chunk holds the records'
// pieces (zlib or raw). The largest level is decoded; BC7 is the format code
// known (28); another code is refused with its number.

#include "core/Status.h"
#include "preview/TextureSize.h"

#include <cstdint>
#include <span>

namespace sga {

Expected<Picture> decodeRrtex(std::span<const uint8_t> bytes);

} // namespace sga
