#pragma once
#include "preview/PreviewImage.h"

#include <filesystem>

namespace sga {

// Reads the composite image of an 8-bit RGB PSD (raw or PackBits) into image.
// Returns true when read; on false image is left exactly as it was.
bool loadPSD(const std::filesystem::path& path, PreviewImage& image);

} // namespace sga
