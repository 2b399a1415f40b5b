// The layout detector and the readers of version 2 with 20-byte file records on
// arbitrary bytes: each refuses with a message or hands back a model whose
// links hold together.

#include "fuzz/FuzzLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return sga::fuzz::fuzzLayouts(data, size, {sga::Layout::V2Wide});
}
