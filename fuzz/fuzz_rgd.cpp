// The RGD reader and its three outputs on arbitrary bytes, with names learned
// from the file's own strings.

#include "fuzz/FuzzSupport.h"
#include "preview/RgdFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sga;
    const auto file = readRgd(std::span<const uint8_t>(data, size));
    if (!file) {
        FUZZ_CHECK(!file.message().empty());
        return 0;
    }
    RgdDictionary dictionary;
    dictionary.learnFrom(*file);
    FUZZ_CHECK(formatRgd(*file, dictionary, RgdOutput::Lua).rfind("GameData = {}\n", 0) == 0);
    FUZZ_CHECK(formatRgd(*file, dictionary, RgdOutput::Json).front() == '{');
    formatRgd(*file, dictionary, RgdOutput::Text);
    return 0;
}
