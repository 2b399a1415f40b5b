#pragma once
// Pictures built in code for tests and fuzz seeds: TGA, PSD and PCX files
// with every header field under the caller's control.

#include <cstdint>
#include <optional>
#include <vector>

namespace sga::testing {

using Bytes = std::vector<uint8_t>;

struct TgaPlan {
    int16_t width = 1;
    int16_t height = 1;
    uint8_t imageType = 2;
    uint8_t pixelDepth = 24;
    uint8_t descriptor = 0;
    Bytes id;   // image ID field
    uint8_t colourMapType = 0;
    uint16_t colourMapLength = 0;
    uint8_t colourMapEntrySize = 0;
    Bytes pixels;   // as stored, after the colour map
};
Bytes buildTga(const TgaPlan& plan);

struct PsdPlan {
    uint16_t version = 1;
    uint16_t channels = 3;
    int32_t height = 1;
    int32_t width = 1;
    uint16_t depth = 8;
    uint16_t colourMode = 3;
    Bytes colourModeData, imageResources, layerInfo;
    uint16_t compression = 0;
    Bytes imageData;   // everything after the compression field
};
Bytes buildPsd(const PsdPlan& plan);
// PackBits image data: a row byte count table (deliberately wrong values)
// for channels x height rows, then the stream.
Bytes packBitsData(int channels, int height, const Bytes& stream);

struct PcxPlan {
    uint8_t version = 5;
    uint8_t encoding = 1;
    uint8_t bitsPerPixel = 8;
    uint8_t planes = 1;
    uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    uint16_t bytesPerLine = 0;      // 0: the width
    Bytes data;                     // encoded scan lines
    std::optional<Bytes> palette;   // 768 bytes after the 0x0C marker (8-bit pictures)
};
Bytes buildPcx(const PcxPlan& plan);
// RLE for PCX: runs of up to 63, bytes 0xC0 and up always escaped.
Bytes pcxRle(const Bytes& raw);

Bytes concat(const std::vector<Bytes>& parts);

} // namespace sga::testing
