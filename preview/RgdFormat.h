#pragma once
// Names for RGD keys and the three ways of writing an RGD file out: Lua
// assignments under GameData, nested JSON, and "path.to.key = value" lines.

#include "core/Status.h"
#include "preview/RgdReader.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

namespace sga {

// Key names of the first generation, from "#RGD_DIC" files and learned ones.
class RgdDictionary {
public:
    // Reads dictionary text: first line "#RGD_DIC", then "0xHHHHHHHH=name"
    // lines; "#" starts a comment anywhere; blank lines are skipped. A
    // malformed file adds nothing; the message names source and line.
    Status addText(std::string_view text, const std::string& source);
    Status addFile(const std::filesystem::path& path);
    // Keeps an existing name for hash.
    void add(uint64_t hash, std::string name);
    // Names keys by hashing every string value of file (names already known stay).
    void learnFrom(const RgdFile& file);
    const std::string* find(uint64_t key) const;
    size_t size() const { return names_.size(); }

private:
    std::unordered_map<uint64_t, std::string> names_;
};

// Reads every regular file in folder (sorted by name) as a dictionary; a
// missing folder is no error. Files that fail are returned as messages.
std::vector<std::string> addDictionaryFolder(RgdDictionary& dictionary, const std::filesystem::path& folder);

// $XDG_DATA_HOME/sga/dictionaries, or ~/.local/share/sga/dictionaries.
std::filesystem::path defaultDictionaryFolder();

enum class RgdOutput { Lua, Json, Text };

// A key as shown: its name, a list entry's number, or 0xHHHHHHHH (16 digits for 64-bit keys).
std::string rgdKeyName(const RgdFile& file, const RgdDictionary& dictionary, uint64_t key, bool inList);

std::string formatRgd(const RgdFile& file, const RgdDictionary& dictionary, RgdOutput output);

// "float", "integer", ..., "table", "list", "no data", or "type N".
std::string rgdTypeName(uint32_t type);
// A value as the text lines show it ("750.0", "\"name\"", "(no data)"); empty for tables.
std::string rgdValueText(const RgdValue& value);

} // namespace sga
