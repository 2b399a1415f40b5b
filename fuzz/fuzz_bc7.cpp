// The BC7 block decoder: the first two bytes give the picture's sides (1 to
// 64 each), the rest are blocks. Short data is refused; enough data decodes
// to exactly width x height pixels.

#include "fuzz/FuzzSupport.h"
#include "preview/BlockFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sga;
    if (size < 2) return 0;
    const uint32_t width = data[0] % 64 + 1, height = data[1] % 64 + 1;
    const std::span<const uint8_t> blocks(data + 2, size - 2);
    const auto rgba = decodeBlocks(BlockFormat::BC7, blocks, width, height);
    FUZZ_CHECK(rgba.ok() == (blocks.size() >= blockLevelBytes(BlockFormat::BC7, width, height)));
    if (rgba.ok()) FUZZ_CHECK(rgba->size() == size_t{width} * height * 4);
    else FUZZ_CHECK(!rgba.message().empty());
    return 0;
}
