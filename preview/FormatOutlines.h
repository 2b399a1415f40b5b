#pragma once
// The outlines the window draws for Relic Chunky and RGD entries: one node
// per chunk (kind and id, version, name, size, offset) or per key (name,
// type, value), each pointing at its own bytes.

#include "core/Status.h"
#include "preview/EntryDecoders.h"

#include <cstdint>
#include <span>

namespace sga {

class RgdDictionary;
struct RgdFile;

Expected<EntryOutline> chunkyOutline(std::span<const uint8_t> bytes);

// Keys named by dictionary (first generation) or by the file.
EntryOutline rgdOutline(const RgdFile& file, const RgdDictionary& dictionary);

// The decoder table's form: names from the dictionaries in the default folder.
Expected<EntryOutline> rgdOutlineWithDictionaries(std::span<const uint8_t> bytes);

} // namespace sga
