// The layout detector and the readers of versions 4 and 5 (both forms) on
// arbitrary bytes: each refuses with a message or hands back a model whose
// links hold together.

#include "fuzz/FuzzLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return sga::fuzz::fuzzLayouts(data, size, {sga::Layout::V4, sga::Layout::V5A, sga::Layout::V5B});
}
