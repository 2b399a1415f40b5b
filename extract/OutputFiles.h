#pragma once
// Writing extracted files and folders. A file is written under a temporary
// name in its own folder and renamed over the target once complete, so a
// failed write never leaves a partial file under the entry's name.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace sga {

// Empty on success, otherwise the system's reason.
std::string writeWholeFile(const std::filesystem::path& target, const uint8_t* data, size_t size);
// Creates the folder and every missing parent. Empty on success, otherwise the reason.
std::string createFolders(const std::filesystem::path& folder);
// True when something (file, folder, ...) exists at path.
bool pathExists(const std::filesystem::path& path);

// Disk paths (UTF-8) as the 8-bit activity log shows them.
std::string logText(const std::string& utf8Path);
// An archive path with "/" in place of "\" (the separator on disk).
std::string withSlashes(std::string text);

} // namespace sga
