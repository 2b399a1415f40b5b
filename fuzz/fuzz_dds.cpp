// The DDS decoder on arbitrary bytes.

#include "fuzz/FuzzTexture.h"
#include "preview/DdsDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sga::fuzz::checkTexture(sga::decodeDds(std::span<const uint8_t>(data, size)));
    return 0;
}
