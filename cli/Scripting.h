#pragma once
// What the scripting side of the command line shares: selecting entries by
// pattern, what a listing knows of a file's bytes, and JSON Lines output.

#include "archive/ArchiveModel.h"
#include "cli/Commands.h"
#include "core/Status.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

namespace sga::cli {

// PATTERN... and --exclude PATTERN (repeatable) of list, extract, verify,
// diff and grep's --glob.
struct SelectionOptions {
    std::vector<std::string> patterns;
    std::vector<std::string> excludes;
    bool any() const { return !patterns.empty() || !excludes.empty(); }
};
// Adds the positional PATTERN... and --exclude; returns the positional option.
CLI::Option* addSelectionOptions(CLI::App& sub, SelectionOptions& options);

// Indexes into model.files of the selected files, in table order. Fails
// with "no entry matches PATTERN" (one line per pattern) when patterns were
// given and none selected anything.
Expected<std::vector<size_t>> selectFiles(const ArchiveModel& model, const SelectionOptions& options);

// The same for paths in UTF-8 (a folder on disk, a mix of sides).
Expected<std::vector<size_t>> selectPaths(const std::vector<std::string>& utf8Paths,
                                          const SelectionOptions& options);

// The model with only the given files and the folders that lead to them
// (extract and verify work on it as on a whole archive).
ArchiveModel modelOfFiles(const ArchiveModel& model, const std::vector<size_t>& files);

// Narrows loaded to the files options select (nothing changes without
// patterns); false, with the reason on stderr and the exit status set, when
// a pattern selects nothing.
bool narrowToSelection(LoadedArchive& loaded, const SelectionOptions& options, Context& context);

// The CRC-32 of the file's decoded bytes when its record says it (the
// 17-byte layout keeps its CRC-32 in the block before the bytes, which a
// listing does not read).
std::optional<uint32_t> knownCrcOfBytes(const ArchiveModel& model, const ArchiveFile& file);
std::string crcHex(uint32_t crc);

// JSON Lines: one object a line on stdout, ordered keys.
using Json = nlohmann::ordered_json;
// text as a JSON string value: text that is not valid UTF-8 is reported on
// stderr ("what" names it) and written with U+FFFD in place of each bad byte.
Json jsonText(std::string_view text, std::string_view what);
// One object and a newline on stdout.
void writeJsonLine(const Json& object);
// Whether text is well-formed UTF-8 (no overlong forms, surrogates or code
// points above U+10FFFF).
bool isValidUtf8(std::string_view text);

} // namespace sga::cli
