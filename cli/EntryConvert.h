#pragma once
// The converted copies "sga extract --convert" writes beside entries: PNG for
// the pictures the program decodes itself (DDS, RRTEX, TGA, PSD, PCX) and
// JSON for RGD attributes, UTF-8 text for UCS text tables.

#include "core/Status.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sga {
class RgdDictionary;
}

namespace sga::cli {

struct ConvertedEntry {
    std::string extension;      // "png", "json", "txt": added to the entry's name
    std::vector<uint8_t> bytes;
};

// The extension a converted copy of name gets, or empty when there is none.
std::string convertedExtension(std::string_view name);

Expected<ConvertedEntry> convertEntry(std::string_view name, std::span<const uint8_t> bytes,
                                      const RgdDictionary& dictionary);

} // namespace sga::cli
