// The PCX reader on arbitrary bytes (it takes run-length encoded 8-bit and 24-bit).

#include "fuzz/FuzzPicture.h"
#include "preview/PcxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string fault =
        sga::fuzz::pictureReaderFault(data, size, sga::loadPCX, sga::decodePCX);
    if (!fault.empty()) sga::fuzz::checkFailed(fault.c_str(), __FILE__, __LINE__);
    return 0;
}
