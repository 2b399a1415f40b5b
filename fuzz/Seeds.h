#pragma once
// Small valid inputs built in code: archives of both versions and pictures
// of every kind the readers accept. They seed the fuzzers and are the
// starting points of the hostile-input tests.

#include "tests/support/ArchiveWriter.h"

#include <string>
#include <utility>
#include <vector>

namespace sga::fuzz {

using sga::testing::ArchiveSpec;
using sga::testing::Bytes;

// Named archive descriptions: version 1 and 2 with directories, compressed,
// stored and empty files, a flat one, a locale archive, odd names.
std::vector<std::pair<std::string, ArchiveSpec>> seedArchives();

// Uncompressed true-colour TGA of depth 24 or 32, with an image ID field of
// idLength bytes.
Bytes seedTga(int width, int height, int depth, int idLength);
// 8-bit RGB PSD: compression 0 (raw) or 1 (PackBits).
Bytes seedPsd(int width, int height, int channels, int compression);
// Run-length encoded PCX: planes 1 (8-bit with a palette) or 3 (24-bit).
Bytes seedPcx(int width, int height, int planes);

// Inputs of the path check: directory name, zero byte, file name.
std::vector<std::pair<std::string, std::string>> seedPaths();

} // namespace sga::fuzz
