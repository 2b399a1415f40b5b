#pragma once
// A PNG writer for decoded pictures: 8-bit RGBA, no interlace, rows
// deflated by zlib as they are produced.

#include "core/Status.h"
#include "preview/TextureSize.h"

#include <cstdint>
#include <vector>

namespace sga {

Expected<std::vector<uint8_t>> encodePng(const Picture& picture);

} // namespace sga
