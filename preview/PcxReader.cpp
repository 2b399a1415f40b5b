// PCX version 5 with RLE encoding: one 8-bit plane with the 256-colour
// palette at the end of the file, or three 8-bit planes (red, green, blue)
// per scan line. Everything else is refused.
#include "preview/PcxReader.h"

#include "preview/PictureFile.h"

#include <algorithm>

namespace sga {
namespace {

constexpr const char* kKind = "PCX";
constexpr size_t kHeaderSize = 128;
constexpr size_t kPaletteSize = 768;
constexpr uint8_t kPaletteMarker = 0x0C;
// A two-byte RLE run yields at most 63 bytes.
constexpr int64_t kMaxRleGain = 32;

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Decodes the RLE stream into exactly out.size() bytes. Runs may cross scan
// line ends; a run past the end of the picture or of the data is refused.
Status decodeRle(std::span<const uint8_t> data, std::vector<uint8_t>& out) {
    size_t in = 0;
    size_t done = 0;
    while (done < out.size()) {
        if (in >= data.size())
            return pictureError(kKind,
                                "image data ends after " + std::to_string(done) + " of " +
                                    std::to_string(out.size()) + " bytes",
                                static_cast<int64_t>(kHeaderSize + in));
        const uint8_t c = data[in++];
        if ((c & 0xC0) != 0xC0) {
            out[done++] = c;
            continue;
        }
        const size_t count = c & 0x3F;
        if (in >= data.size())
            return pictureError(kKind, "run without its byte",
                                static_cast<int64_t>(kHeaderSize + in));
        if (count > out.size() - done)
            return pictureError(kKind, "run past the end of the picture",
                                static_cast<int64_t>(kHeaderSize + in - 1));
        const uint8_t value = data[in++];
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(done), count, value);
        done += count;
    }
    return {};
}

} // namespace

Status decodePCX(std::span<const uint8_t> file, PreviewImage& image) {
    if (file.size() < kHeaderSize)
        return pictureError(kKind, "file shorter than the 128-byte header", 0);
    const uint8_t* h = file.data();
    if (h[0] != 0x0A) return pictureError(kKind, "not a PCX file", 0);
    if (h[1] != 5) return pictureError(kKind, "version " + std::to_string(h[1]) + " is not 5", 1);
    if (h[2] != 1)
        return pictureError(kKind, "encoding " + std::to_string(h[2]) + " is not RLE (1)", 2);
    const int bitsPerPixel = h[3];
    const int planes = h[65];
    if (bitsPerPixel != 8 || (planes != 1 && planes != 3))
        return pictureError(kKind,
                            std::to_string(planes) + " planes of " + std::to_string(bitsPerPixel) +
                                " bits are not 1 or 3 planes of 8 bits",
                            65);
    const int64_t width = int64_t{le16(h + 8)} - le16(h + 4) + 1;
    const int64_t height = int64_t{le16(h + 10)} - le16(h + 6) + 1;
    int64_t pixelBytes = 0;
    if (Status s = checkPictureSize(kKind, width, height, 3, pixelBytes); !s) return s;
    const int64_t bytesPerLine = le16(h + 66);
    if (bytesPerLine < width)
        return pictureError(kKind,
                            "bytes per line " + std::to_string(bytesPerLine) +
                                " less than the width " + std::to_string(width),
                            66);

    std::span<const uint8_t> data = file.subspan(kHeaderSize);
    std::span<const uint8_t> palette;
    if (planes == 1) {
        if (data.size() < kPaletteSize + 1 ||
            data[data.size() - kPaletteSize - 1] != kPaletteMarker)
            return pictureError(kKind, "no 256-colour palette at the end of the file",
                                static_cast<int64_t>(file.size()));
        palette = data.subspan(data.size() - kPaletteSize);
        data = data.first(data.size() - kPaletteSize - 1);
    }
    const int64_t decodedSize = height * planes * bytesPerLine;
    if (decodedSize > static_cast<int64_t>(data.size()) * kMaxRleGain)
        return pictureError(kKind,
                            "image data too short for " + std::to_string(width) + " x " +
                                std::to_string(height) + " pixels",
                            static_cast<int64_t>(kHeaderSize));
    std::vector<uint8_t> decoded(static_cast<size_t>(decodedSize));
    if (Status s = decodeRle(data, decoded); !s) return s;

    std::vector<uint8_t> pixels(static_cast<size_t>(pixelBytes));
    const size_t line = static_cast<size_t>(bytesPerLine);
    uint8_t* out = pixels.data();
    for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
        const uint8_t* scan = &decoded[y * static_cast<size_t>(planes) * line];
        for (size_t x = 0; x < static_cast<size_t>(width); ++x, out += 3) {
            if (planes == 1) {
                const uint8_t* rgb = &palette[3 * size_t{scan[x]}];
                out[0] = rgb[2];
                out[1] = rgb[1];
                out[2] = rgb[0];
            } else {
                out[0] = scan[2 * line + x];
                out[1] = scan[line + x];
                out[2] = scan[x];
            }
        }
    }
    storePicture(image, width, height, std::move(pixels));
    return {};
}

bool loadPCX(const std::filesystem::path& path, PreviewImage& image) {
    return loadPictureFile(path, image, decodePCX);
}

} // namespace sga
