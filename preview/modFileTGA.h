#pragma once
#include "preview/PreviewImage.h"

#include <filesystem>

namespace sga {

// Reads an uncompressed true-colour TGA into image. Returns true when read;
// on false image is left exactly as it was.
bool loadTGA(const std::filesystem::path& path, PreviewImage& image);

} // namespace sga
