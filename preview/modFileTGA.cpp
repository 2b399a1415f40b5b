#include "preview/modFileTGA.h"

#include "preview/PictureFile.h"

#include <algorithm>
#include <cstring>

namespace sga {
namespace {

constexpr const char* kKind = "TGA";
constexpr size_t kHeaderSize = 18;
constexpr uint8_t kTrueColour = 2;
constexpr uint8_t kTopToBottom = 0x20;   // image descriptor: first row is the top row

struct TgaHeader {
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint8_t imageType = 0;
    uint16_t colourMapFirst = 0;
    uint16_t colourMapLength = 0;
    uint8_t colourMapEntrySize = 0;
    int16_t xOrigin = 0;
    int16_t yOrigin = 0;
    int16_t imageWidth = 0;
    int16_t imageHeight = 0;
    uint8_t pixelDepth = 0;
    uint8_t imageDescriptor = 0;
};

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

TgaHeader parseHeader(const uint8_t* p) {
    TgaHeader h;
    h.idLength = p[0];
    h.colourMapType = p[1];
    h.imageType = p[2];
    h.colourMapFirst = le16(p + 3);
    h.colourMapLength = le16(p + 5);
    h.colourMapEntrySize = p[7];
    h.xOrigin = static_cast<int16_t>(le16(p + 8));
    h.yOrigin = static_cast<int16_t>(le16(p + 10));
    h.imageWidth = static_cast<int16_t>(le16(p + 12));
    h.imageHeight = static_cast<int16_t>(le16(p + 14));
    h.pixelDepth = p[16];
    h.imageDescriptor = p[17];
    return h;
}

} // namespace

Status decodeTGA(std::span<const uint8_t> file, PreviewImage& image) {
    if (file.size() < kHeaderSize)
        return pictureError(kKind, "file shorter than the 18-byte header", 0);
    const TgaHeader header = parseHeader(file.data());
    if (header.imageType != kTrueColour)
        return pictureError(kKind,
                            "image type " + std::to_string(header.imageType) +
                                " is not uncompressed true-colour (2)",
                            2);
    if (header.pixelDepth != 24 && header.pixelDepth != 32)
        return pictureError(
            kKind, "pixel depth " + std::to_string(header.pixelDepth) + " is not 24 or 32", 16);
    const int64_t width = header.imageWidth;
    const int64_t height = header.imageHeight;
    const int64_t fileBytesPerPixel = header.pixelDepth / 8;
    int64_t pixelDataSize = 0;
    if (Status s = checkPictureSize(kKind, width, height, fileBytesPerPixel, pixelDataSize); !s)
        return s;

    // The image ID field and the colour map stand between the header and the pixels.
    int64_t pixelStart = static_cast<int64_t>(kHeaderSize) + header.idLength;
    if (header.colourMapType == 1)
        pixelStart += int64_t{header.colourMapLength} * ((header.colourMapEntrySize + 7) / 8);
    const int64_t available = static_cast<int64_t>(file.size()) - pixelStart;
    if (available < pixelDataSize)
        return pictureError(kKind,
                            "pixel data truncated: " + std::to_string(pixelDataSize) +
                                " bytes needed, " +
                                std::to_string(std::max<int64_t>(available, 0)) + " present",
                            pixelStart);

    const size_t rowBytes = static_cast<size_t>(width) * 3;
    const size_t rows = static_cast<size_t>(height);
    std::vector<uint8_t> pixels(rowBytes * rows);
    const bool topDown = (header.imageDescriptor & kTopToBottom) != 0;
    const uint8_t* source = file.data() + pixelStart;
    for (size_t r = 0; r < rows; ++r) {
        // Rows are stored bottom row first unless the descriptor says otherwise.
        uint8_t* target = &pixels[(topDown ? r : rows - 1 - r) * rowBytes];
        if (fileBytesPerPixel == 3) {
            std::memcpy(target, source, rowBytes);
        } else {
            for (size_t x = 0; x < static_cast<size_t>(width); ++x)
                std::memcpy(target + x * 3, source + x * 4, 3);   // alpha dropped
        }
        source += static_cast<size_t>(width * fileBytesPerPixel);
    }

    storePicture(image, width, height, std::move(pixels));
    return {};
}

bool loadTGA(const std::filesystem::path& path, PreviewImage& image) {
    return loadPictureFile(path, image, decodeTGA);
}

} // namespace sga
