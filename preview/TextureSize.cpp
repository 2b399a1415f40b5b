#include "preview/TextureSize.h"

namespace sga {

Status checkTextureSize(const char* kind, uint64_t width, uint64_t height) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width == 0 || height == 0)
        return Status::error(ErrorCode::BadField, std::string(kind) + ": picture of " + size + " has no pixels");
    if (width > kMaxTextureSide || height > kMaxTextureSide)
        return Status::error(ErrorCode::Unsupported,
                             std::string(kind) + ": picture of " + size + " is beyond the limit of " +
                                 std::to_string(kMaxTextureSide) + " x " + std::to_string(kMaxTextureSide));
    return {};
}

std::string describePicture(const Picture& picture) {
    return describePicture(picture.width, picture.height, picture.format, picture.mipCount);
}

} // namespace sga
