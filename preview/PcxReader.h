#pragma once
#include "core/Status.h"
#include "preview/PreviewImage.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace sga {

// Reads a PCX picture (8-bit paletted or 24-bit, RLE) into image as 24-bit
// blue-green-red rows. Returns true when read; on false image is untouched.
bool loadPCX(const std::filesystem::path& path, PreviewImage& image);

// The same reader over a file already in memory; the message says why a
// file was refused. On failure image is left exactly as it was.
Status decodePCX(std::span<const uint8_t> file, PreviewImage& image);

} // namespace sga
