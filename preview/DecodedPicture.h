#pragma once
// A picture decoded from a texture entry (DDS, RRTEX): top-down rows of red,
// green, blue, alpha bytes, with the name of the stored format and the number
// of mip levels the file declares (only the first is decoded).

#include "core/Status.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sga {

struct DecodedPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::string format;      // "BC3", "B8G8R8A8", ...
    uint32_t mipCount = 1;
    std::vector<uint8_t> rgba;   // width * height * 4 bytes
};

// The largest texture the decoders accept, in either direction; checked
// before anything is allocated.
inline constexpr uint32_t kMaxTextureSide = 16384;

// Refuses a side of 0 or beyond kMaxTextureSide, naming both sides and the limit:
// "DDS: picture of 65535 x 65535 is beyond the limit of 16384 x 16384".
Status checkTextureSize(const char* kind, uint64_t width, uint64_t height);

// "1024 x 1024, BC3, 11 mips" (or "1 mip").
std::string describePicture(const DecodedPicture& picture);

} // namespace sga
