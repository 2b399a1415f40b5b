#pragma once
// The size limit of decoded textures (DDS, RRTEX) and the status-bar words
// for a decoded picture.

#include "core/Status.h"
#include "preview/EntryDecoders.h"

#include <cstdint>
#include <string>

namespace sga {

// The largest texture the decoders accept, in either direction; checked
// before anything is allocated.
inline constexpr uint32_t kMaxTextureSide = 16384;

// Refuses a side of 0 or beyond kMaxTextureSide, naming both sides and the limit:
// "DDS: picture of 65535 x 65535 is beyond the limit of 16384 x 16384".
Status checkTextureSize(const char* kind, uint64_t width, uint64_t height);

// "1024 x 1024, BC3, 11 mips" (no mip count for one).
std::string describePicture(const Picture& picture);

} // namespace sga
