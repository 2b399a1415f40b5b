#pragma once
#include "core/Status.h"
#include "preview/PreviewImage.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace sga {

// Reads an uncompressed true-colour TGA into image. Returns true when read;
// on false image is left exactly as it was.
bool loadTGA(const std::filesystem::path& path, PreviewImage& image);

// The same reader over a file already in memory; the message says why a
// file was refused. On failure image is left exactly as it was.
Status decodeTGA(std::span<const uint8_t> file, PreviewImage& image);

} // namespace sga
