#pragma once
// A folder for one hostile run: the archive in "in/", the extraction target
// three levels down ("deep/a/b/out"), and an empty working folder. Whatever a
// run does, everything outside the target must stay as it was.

#include "tests/support/ArchiveWriter.h"

#include <filesystem>
#include <map>
#include <string>

namespace sga::testing {

class Sandbox {
public:
    explicit Sandbox(const Bytes& archive, const std::string& archiveName = "hostile.big");

    const std::filesystem::path& root() const { return dir_.path(); }
    const std::filesystem::path& archive() const { return archive_; }
    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& workDir() const { return work_; }

    // What changed outside the target since construction, and anything under
    // the target that is not a plain file or folder, or resolves outside it.
    // Empty when nothing is wrong.
    std::string escapes() const;

private:
    std::map<std::string, std::string> outsideTarget() const;

    TempDir dir_;
    std::filesystem::path archive_, target_, work_;
    std::map<std::string, std::string> before_;
};

// A file name that hostile archives aim at, unique to this process; escapes()
// also looks for it in the system's temporary folder.
std::string escapeMarker();

} // namespace sga::testing
