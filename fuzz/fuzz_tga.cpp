// The TGA reader on arbitrary bytes (it takes uncompressed true colour).

#include "fuzz/FuzzPicture.h"
#include "preview/modFileTGA.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string fault =
        sga::fuzz::pictureReaderFault(data, size, sga::loadTGA, sga::decodeTGA);
    if (!fault.empty()) sga::fuzz::checkFailed(fault.c_str(), __FILE__, __LINE__);
    return 0;
}
