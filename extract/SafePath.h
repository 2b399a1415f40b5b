#pragma once
// Turning an archive path into a path below an extraction folder. Archive
// names come from outside: a name that could reach outside the folder, or
// that no file system would take as one plain name, is refused.

#include "archive/ArchiveModel.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sga {

// dirName (may be empty: the top level) and name (must not be empty), both
// archive text (in the given encoding) with "\" or "/" between parts, as one relative UTF-8
// path with "/" between parts. Refused (nullopt, and why in *reason) when a
// part is empty, "." or "..", starts with a drive letter ("C:"), or holds a
// NUL or control character.
std::optional<std::filesystem::path> safeRelativePath(std::string_view dirName,
                                                      std::string_view name,
                                                      std::string* reason = nullptr,
                                                      TextEncoding encoding = TextEncoding::Cp1252);

} // namespace sga
