#pragma once
// Writing extracted files and folders. A file that did not exist is
// created under its own name (exclusively) and removed again when its
// writing fails; a file that exists is written under a temporary name in its
// folder and renamed over it once complete. Either way a failed write never
// leaves a partial file under the entry's name nor harms an earlier one.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace sga {

// One output file written in pieces: open, write..., commit. Destroyed
// without a commit (or after a failure) it leaves nothing behind.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Each returns empty on success, otherwise the system's reason.
    std::string open(const std::filesystem::path& target);
    std::string write(const uint8_t* data, size_t size);
    std::string commit();
    // Closes and removes what was written (nothing when committed).
    void abandon();

private:
    int fd_ = -1;
    std::filesystem::path target_;
    std::filesystem::path written_;   // target_ itself, or a temporary beside it
    bool replaces_ = false;
};

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
