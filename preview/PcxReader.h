#pragma once
#include "preview/PreviewImage.h"

#include <cstdint>
#include <filesystem>

namespace sga {

// Reads a PCX picture (8-bit paletted or 24-bit, RLE) into image as 24-bit
// blue-green-red rows. Returns true when read; on false image is untouched.
bool loadPCX(const std::filesystem::path& path, PreviewImage& image);

} // namespace sga
