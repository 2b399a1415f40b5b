#include "preview/modFilePSD.h"

#include "preview/PictureFile.h"

#include <array>

namespace sga {
namespace {

constexpr const char* kKind = "PSD";
constexpr int32_t kSignature = 0x38425053;   // "8BPS"
constexpr int32_t kMaxChannels = 16;
// A PackBits run of two bytes yields at most 128 bytes.
constexpr int64_t kMaxPackBitsGain = 64;
// A file without colour planes (zero channels) stores nothing that justifies
// the memory of its picture: such black pictures are limited to this size.
constexpr int64_t kMaxPixelsWithoutPlanes = int64_t{1} << 20;

// Planes go to these byte offsets of a blue-green-red-alpha pixel, step by
// step. A plane is read for a step when its offset is below the channel
// count, so files with fewer than three channels fill the low offsets first.
constexpr std::array<int, 4> kStepOffset = {2, 1, 0, 3};
// Indexed by byte offset, not by step.
constexpr std::array<uint8_t, 4> kFillValue = {0, 0, 0, 255};

class PsdReader {
public:
    explicit PsdReader(std::span<const uint8_t> file) : file_(file) {}
    Status read(PreviewImage& image);

private:
    bool readBE32(int32_t& value);
    bool readBE16(int32_t& value);
    bool skip(int64_t count);
    Status readHeaderField16(const char* name, int16_t& field);
    Status skipSection(const char* name);
    Status decodePSDPlanes();
    Status decodePackBitsPlane(std::span<const uint8_t> data, int offset);
    int planesRead() const;

    std::span<const uint8_t> file_;
    int64_t psdPos = 0;   // header: file position; image data: index in the data
    int16_t channels = 0;
    int32_t height = 0;
    int32_t width = 0;
    int16_t depth = 0;
    int16_t colourMode = 0;
    int16_t compression = 0;
    int64_t pixelCount = 0;
    std::vector<uint8_t> planeBuffer;   // 4 bytes a pixel: blue, green, red, alpha
};

bool PsdReader::readBE32(int32_t& value) {
    if (psdPos < 0 || static_cast<int64_t>(file_.size()) - psdPos < 4) return false;
    const uint8_t* p = file_.data() + psdPos;
    value = static_cast<int32_t>((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
                                 (uint32_t{p[2]} << 8) | uint32_t{p[3]});
    psdPos += 4;
    return true;
}

bool PsdReader::readBE16(int32_t& value) {
    if (psdPos < 0 || static_cast<int64_t>(file_.size()) - psdPos < 2) return false;
    value = (file_[static_cast<size_t>(psdPos)] << 8) | file_[static_cast<size_t>(psdPos) + 1];
    psdPos += 2;
    return true;
}

bool PsdReader::skip(int64_t count) {
    if (count < 0 || static_cast<int64_t>(file_.size()) - psdPos < count) return false;
    psdPos += count;
    return true;
}

// 16-bit header fields are kept signed: values above 32767 are refused.
Status PsdReader::readHeaderField16(const char* name, int16_t& field) {
    const int64_t at = psdPos;
    int32_t value = 0;
    if (!readBE16(value)) return pictureError(kKind, std::string("file ends in the ") + name, at);
    if (value > 32767)
        return pictureError(kKind,
                            std::string(name) + " " + std::to_string(value) + " out of range", at);
    field = static_cast<int16_t>(value);
    return {};
}

Status PsdReader::skipSection(const char* name) {
    const int64_t at = psdPos;
    int32_t length = 0;
    if (!readBE32(length))
        return pictureError(kKind, std::string("file ends in the length of the ") + name, at);
    if (length < 0) return pictureError(kKind, std::string("negative length of the ") + name, at);
    if (!skip(length))
        return pictureError(kKind,
                            std::string(name) + " of " + std::to_string(length) +
                                " bytes runs past the end of the file",
                            at);
    return {};
}

int PsdReader::planesRead() const {
    int planes = 0;
    for (int offset : kStepOffset)
        if (offset < channels) ++planes;
    return planes;
}

Status PsdReader::read(PreviewImage& image) {
    int32_t signature = 0;
    if (!readBE32(signature)) return pictureError(kKind, "file ends in the signature", 0);
    if (signature != kSignature) return pictureError(kKind, "signature is not 8BPS", 0);
    int16_t version = 0;
    if (Status s = readHeaderField16("version", version); !s) return s;
    if (version != 1)
        return pictureError(kKind, "version " + std::to_string(version) + " is not 1", 4);
    if (!skip(6)) return pictureError(kKind, "file ends in the reserved bytes", psdPos);
    if (Status s = readHeaderField16("channel count", channels); !s) return s;
    if (channels < 0 || channels > kMaxChannels)
        return pictureError(kKind, "channel count " + std::to_string(channels) + " is not 0 to 16",
                            12);
    if (!readBE32(height)) return pictureError(kKind, "file ends in the height", psdPos);
    if (!readBE32(width)) return pictureError(kKind, "file ends in the width", psdPos);
    if (Status s = readHeaderField16("depth", depth); !s) return s;
    if (depth != 8)
        return pictureError(kKind, "depth " + std::to_string(depth) + " is not 8 bits", 22);
    if (Status s = readHeaderField16("colour mode", colourMode); !s) return s;
    if (colourMode != 3)
        return pictureError(kKind, "colour mode " + std::to_string(colourMode) + " is not RGB", 24);
    int64_t planeBytes = 0;
    if (Status s = checkPictureSize(kKind, width, height, 4, planeBytes); !s) return s;
    pixelCount = int64_t{width} * height;
    for (const char* section :
         {"colour mode data", "image resources", "layer and mask information"})
        if (Status s = skipSection(section); !s) return s;
    const int64_t compressionAt = psdPos;
    if (Status s = readHeaderField16("compression", compression); !s) return s;
    if (compression != 0 && compression != 1)
        return pictureError(
            kKind, "compression " + std::to_string(compression) + " is not raw (0) or PackBits (1)",
            compressionAt);
    if (Status s = decodePSDPlanes(); !s) return s;

    std::vector<uint8_t> pixels(static_cast<size_t>(pixelCount) * 3);
    for (size_t n = 0; n < static_cast<size_t>(pixelCount); ++n) {
        pixels[3 * n] = planeBuffer[4 * n];
        pixels[3 * n + 1] = planeBuffer[4 * n + 1];
        pixels[3 * n + 2] = planeBuffer[4 * n + 2];
    }
    planeBuffer = {};
    storePicture(image, width, height, std::move(pixels));
    return {};
}

// Fills planeBuffer from the image data, which runs from psdPos to the end of
// the file. From here on psdPos indexes the image data.
Status PsdReader::decodePSDPlanes() {
    const int64_t dataStart = psdPos;
    const std::span<const uint8_t> data = file_.subspan(static_cast<size_t>(dataStart));
    const int64_t dataSize = static_cast<int64_t>(data.size());
    const int64_t planes = planesRead();
    psdPos = 0;
    if (planes == 0 && pixelCount > kMaxPixelsWithoutPlanes) {
        return pictureError(kKind,
                            "no channels stored for a picture of " + std::to_string(width) + " x " +
                                std::to_string(height) + " pixels",
                            12);
    } else if (compression == 1) {
        // The row byte counts are not needed: each plane is decoded as one stream.
        const int64_t tableSize = int64_t{channels} * height * 2;
        if (tableSize > dataSize)
            return pictureError(kKind, "row byte count table runs past the end of the file",
                                dataStart);
        if (planes * pixelCount > (dataSize - tableSize) * kMaxPackBitsGain)
            return pictureError(kKind,
                                "compressed image data too short for " + std::to_string(width) +
                                    " x " + std::to_string(height) + " pixels",
                                dataStart + tableSize);
        psdPos = tableSize;
    } else if (planes * pixelCount > dataSize) {
        return pictureError(kKind,
                            "image data truncated: " + std::to_string(planes * pixelCount) +
                                " bytes needed, " + std::to_string(dataSize) + " present",
                            dataStart);
    }

    planeBuffer.assign(static_cast<size_t>(pixelCount) * 4, 0);
    for (int offset : kStepOffset) {
        if (offset < channels) {
            if (compression == 1) {
                const int64_t planeStart = psdPos;
                if (Status s = decodePackBitsPlane(data, offset); !s)
                    return pictureError(kKind, s.message(), dataStart + planeStart);
            } else {
                for (int64_t j = 0; j < pixelCount; ++j)
                    planeBuffer[static_cast<size_t>(4 * j + offset)] =
                        data[static_cast<size_t>(psdPos + j)];
                psdPos += pixelCount;
            }
        } else {
            for (int64_t j = 0; j < pixelCount; ++j)
                planeBuffer[static_cast<size_t>(4 * j + offset)] = kFillValue[offset];
        }
    }
    return {};
}

// One plane of PackBits runs, decoded across row ends. A header byte of 128
// is a no-op; a run that passes the end of the plane or of the data is refused.
Status PsdReader::decodePackBitsPlane(std::span<const uint8_t> data, int offset) {
    const int64_t dataSize = static_cast<int64_t>(data.size());
    int64_t j = 0;
    while (j < pixelCount) {
        if (psdPos >= dataSize)
            return Status::error("plane data ends after " + std::to_string(j) + " of " +
                                 std::to_string(pixelCount) + " pixels in the plane starting");
        const uint8_t h = data[static_cast<size_t>(psdPos++)];
        if (h == 128) continue;
        if (h > 128) {
            const int64_t n = 257 - h;
            if (psdPos >= dataSize)
                return Status::error("repeat run without its byte in the plane starting");
            if (j + n > pixelCount)
                return Status::error("repeat run past the end of the plane starting");
            const uint8_t v = data[static_cast<size_t>(psdPos++)];
            for (int64_t k = 0; k < n; ++k)
                planeBuffer[static_cast<size_t>(4 * (j + k) + offset)] = v;
            j += n;
        } else {
            const int64_t n = int64_t{h} + 1;
            if (j + n > pixelCount)
                return Status::error("literal run past the end of the plane starting");
            if (dataSize - psdPos < n)
                return Status::error("literal run past the end of the data in the plane starting");
            for (int64_t k = 0; k < n; ++k)
                planeBuffer[static_cast<size_t>(4 * (j + k) + offset)] =
                    data[static_cast<size_t>(psdPos + k)];
            psdPos += n;
            j += n;
        }
    }
    return {};
}

} // namespace

Status decodePSD(std::span<const uint8_t> file, PreviewImage& image) {
    return PsdReader(file).read(image);
}

bool loadPSD(const std::filesystem::path& path, PreviewImage& image) {
    return loadPictureFile(path, image, decodePSD);
}

} // namespace sga
