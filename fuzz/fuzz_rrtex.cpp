// The RRTEX decoder (Relic Chunky, zlib and raw pieces, BC7) on arbitrary bytes.

#include "fuzz/FuzzTexture.h"
#include "preview/RrtexDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sga::fuzz::checkTexture(sga::decodeRrtex(std::span<const uint8_t>(data, size)));
    return 0;
}
