#include "preview/PictureFile.h"

#include "core/FileReader.h"
#include "preview/PreviewImage.h"

namespace sga {

Status readPictureFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
    FileReader file;
    if (!file.open(path)) return Status::error(path.string() + ": " + file.error());
    std::vector<uint8_t> data(static_cast<size_t>(file.size()));
    if (!file.read(data.data(), data.size()))
        return Status::error(path.string() + ": cannot read: " + file.error());
    bytes = std::move(data);
    return {};
}

bool loadPictureFile(const std::filesystem::path& path, PreviewImage& image,
                     PictureDecoder decode) {
    std::vector<uint8_t> file;
    if (!readPictureFile(path, file)) return false;
    return decode(file, image).ok();
}

void storePicture(PreviewImage& image, int64_t width, int64_t height, std::vector<uint8_t> pixels) {
    image.bitsPerPixel = 24;
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    image.palette.clear();
    image.pixels = std::move(pixels);
}

Status checkPictureSize(const char* kind, int64_t width, int64_t height, int64_t bytesPerPixel,
                        int64_t& out) {
    if (width <= 0 || height <= 0)
        return Status::error(std::string(kind) + ": empty or negative size " +
                             std::to_string(width) + " x " + std::to_string(height));
    if (width > kMaxPictureSide || height > kMaxPictureSide)
        return Status::error(std::string(kind) + ": size " + std::to_string(width) + " x " +
                             std::to_string(height) + " is larger than " +
                             std::to_string(kMaxPictureSide) + " pixels a side");
    // Both sides are at most 2^14 and bytesPerPixel is small: no overflow in 64 bits.
    out = width * height * bytesPerPixel;
    return {};
}

Status pictureError(const char* kind, const std::string& what, int64_t offset) {
    return Status::error(std::string(kind) + ": " + what + " at offset " + std::to_string(offset));
}

} // namespace sga
