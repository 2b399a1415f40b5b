#pragma once
// The check every picture reader gets: read from a file and from memory, the
// two agree; a refused picture leaves the image exactly as it was; an
// accepted one is a complete 24-bit picture within the size limit.

#include "core/Status.h"
#include "fuzz/FuzzSupport.h"
#include "preview/PreviewImage.h"

#include <filesystem>
#include <span>
#include <string>

namespace sga::fuzz {

inline PreviewImage earlierPicture() {
    PreviewImage image;
    image.width = 1;
    image.height = 2;
    image.bitsPerPixel = 8;
    image.palette = {{1, 2, 3, 0}};
    image.pixels = {9, 8, 7, 6, 5, 4};
    return image;
}

// Why the reader's behaviour on this input is wrong, or empty when it is not.
template <typename Load, typename Decode>
std::string pictureReaderFault(const uint8_t* data, size_t size, Load load, Decode decode) {
    const PreviewImage earlier = earlierPicture();
    PreviewImage fromFile = earlier;
    const bool loaded = load(inputFile().write(data, size), fromFile);
    PreviewImage fromMemory = earlier;
    const Status decoded = decode(std::span<const uint8_t>(data, size), fromMemory);

    if (loaded != decoded.ok()) return "file and memory readers disagree";
    if (fromFile != fromMemory) return "file and memory readers give different pictures";
    if (!loaded) {
        if (decoded.message().empty()) return "refused without a reason";
        if (fromFile != earlier) return "a refused picture changed the image";
        return {};
    }
    if (fromFile.bitsPerPixel != 24 || !fromFile.palette.empty()) return "not a 24-bit picture";
    if (fromFile.width < 1 || fromFile.width > kMaxPictureSide || fromFile.height < 1 ||
        fromFile.height > kMaxPictureSide)
        return "size out of range";
    if (fromFile.pixels.size() !=
        static_cast<size_t>(fromFile.width) * static_cast<size_t>(fromFile.height) * 3)
        return "pixel count does not match the size";
    return {};
}

} // namespace sga::fuzz
