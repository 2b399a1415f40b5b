#pragma once
// Shared by the picture readers: reading a picture file into memory and the
// size checks every reader makes before it allocates.

#include "core/Status.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace sga {

// Reads the whole file; on failure returns a message naming the file.
Status readPictureFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

struct PreviewImage;
using PictureDecoder = Status (*)(std::span<const uint8_t> file, PreviewImage& image);

// Reads the file at path and decodes it into image; false (image untouched)
// when the file cannot be read or the decoder refuses it.
bool loadPictureFile(const std::filesystem::path& path, PreviewImage& image, PictureDecoder decode);

// Replaces image with a decoded 24-bit picture.
void storePicture(PreviewImage& image, int64_t width, int64_t height, std::vector<uint8_t> pixels);

// Checks a picture's sides (1 to kMaxPictureSide each) and returns
// width * height * bytesPerPixel in out. kind names the format in the message.
Status checkPictureSize(const char* kind, int64_t width, int64_t height, int64_t bytesPerPixel,
                        int64_t& out);

// "TGA: <what> at offset <offset>".
Status pictureError(const char* kind, const std::string& what, int64_t offset);

} // namespace sga
