#include "preview/FormatOutlines.h"

#include "preview/ChunkyReader.h"
#include "preview/RgdFormat.h"

#include <cstdio>

namespace sga {
namespace {

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::vector<OutlineNode> chunkNodes(const std::vector<ChunkyChunk>& chunks) {
    std::vector<OutlineNode> nodes;
    for (const ChunkyChunk& c : chunks)
        nodes.push_back({{c.kind + " " + c.id, "v" + std::to_string(c.version), c.name, std::to_string(c.size),
                          hex(c.offset)},
                         c.dataOffset,
                         c.size,
                         chunkNodes(c.children)});
    return nodes;
}

std::vector<OutlineNode> keyNodes(const RgdFile& file, const RgdDictionary& dictionary,
                                  const std::vector<RgdEntry>& entries, bool list) {
    std::vector<OutlineNode> nodes;
    for (const RgdEntry& e : entries)
        nodes.push_back({{rgdKeyName(file, dictionary, e.key, list), rgdTypeName(e.value.type),
                          rgdValueText(e.value)},
                         e.value.offset,
                         e.value.size,
                         keyNodes(file, dictionary, e.value.entries, e.value.type == uint32_t(RgdType::List))});
    return nodes;
}

} // namespace

Expected<EntryOutline> chunkyOutline(std::span<const uint8_t> bytes) {
    auto file = readChunky(bytes);
    if (!file) return file.status();
    return EntryOutline{{"Chunk", "Version", "Name", "Size", "Offset"}, chunkNodes(file->chunks)};
}

EntryOutline rgdOutline(const RgdFile& file, const RgdDictionary& dictionary) {
    return EntryOutline{{"Key", "Type", "Value"}, keyNodes(file, dictionary, file.entries, false)};
}

Expected<EntryOutline> rgdOutlineWithDictionaries(std::span<const uint8_t> bytes) {
    auto file = readRgd(bytes);
    if (!file) return file.status();
    RgdDictionary dictionary;
    addDictionaryFolder(dictionary, defaultDictionaryFolder());
    return rgdOutline(*file, dictionary);
}

} // namespace sga
