#pragma once
// The one decoded picture the preview draws: top-down rows of blue, green,
// red bytes without padding.

#include <array>
#include <cstdint>
#include <vector>

namespace sga {

struct PreviewImage {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t bitsPerPixel = 0;
    std::vector<std::array<uint8_t, 4>> palette;   // blue, green, red, reserved
    std::vector<uint8_t> pixels;                   // width * height * 3 bytes

    bool operator==(const PreviewImage&) const = default;
};

// The largest picture the readers accept, in either direction.
inline constexpr int32_t kMaxPictureSide = 16384;

} // namespace sga
