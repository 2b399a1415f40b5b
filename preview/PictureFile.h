#pragma once
// Shared by the picture readers: reading a picture file into memory and the
// size checks every reader makes before it allocates.

#include "archive/Status.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sga {

// Reads the whole file; on failure returns a message naming the file.
Status readPictureFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

// Checks a picture's sides (1 to kMaxPictureSide each) and returns
// width * height * bytesPerPixel in out. kind names the format in the message.
Status checkPictureSize(const char* kind, int64_t width, int64_t height, int64_t bytesPerPixel,
                        int64_t& out);

// "TGA: <what> at offset <offset>".
Status pictureError(const char* kind, const std::string& what, int64_t offset);

} // namespace sga
