// The PSD reader on arbitrary bytes (it takes 8-bit RGB, raw or PackBits).

#include "fuzz/FuzzPicture.h"
#include "preview/modFilePSD.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string fault =
        sga::fuzz::pictureReaderFault(data, size, sga::loadPSD, sga::decodePSD);
    if (!fault.empty()) sga::fuzz::checkFailed(fault.c_str(), __FILE__, __LINE__);
    return 0;
}
