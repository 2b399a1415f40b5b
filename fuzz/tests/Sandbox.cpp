#include "fuzz/tests/Sandbox.h"

#include <unistd.h>

namespace sga::testing {

namespace fs = std::filesystem;

std::string escapeMarker() { return "sga-escaped-" + std::to_string(::getpid()); }

Sandbox::Sandbox(const Bytes& archive, const std::string& archiveName) {
    archive_ = dir_.write("in/" + archiveName, archive);
    target_ = dir_.path() / "deep" / "a" / "b" / "out";
    work_ = dir_.path() / "work";
    fs::create_directories(target_);
    fs::create_directories(work_);
    before_ = outsideTarget();
}

std::map<std::string, std::string> Sandbox::outsideTarget() const {
    std::map<std::string, std::string> seen;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root(), ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        const fs::path& p = it->path();
        if (p == target_) {
            it.disable_recursion_pending();
            continue;
        }
        const auto status = it->symlink_status(ec);
        std::string what = std::to_string(static_cast<int>(status.type()));
        if (fs::is_regular_file(status)) what += " " + std::to_string(it->file_size(ec));
        seen[fs::relative(p, root(), ec).string()] = what;
    }
    return seen;
}

std::string Sandbox::escapes() const {
    std::string problems;
    const auto after = outsideTarget();
    for (const auto& [path, what] : after) {
        const auto was = before_.find(path);
        if (was == before_.end()) problems += "created outside the target: " + path + "\n";
        else if (was->second != what) problems += "changed outside the target: " + path + "\n";
    }
    for (const auto& [path, what] : before_) {
        if (!after.count(path)) problems += "removed outside the target: " + path + "\n";
    }
    std::error_code ec;
    const fs::path realTarget = fs::weakly_canonical(target_, ec);
    for (auto it = fs::recursive_directory_iterator(target_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        const auto status = it->symlink_status(ec);
        if (!fs::is_regular_file(status) && !fs::is_directory(status)) {
            problems += "not a plain file or folder: " + it->path().string() + "\n";
        }
        const fs::path real = fs::weakly_canonical(it->path(), ec);
        const auto rel = real.lexically_relative(realTarget);
        if (rel.empty() || *rel.begin() == "..") {
            problems += "resolves outside the target: " + it->path().string() + "\n";
        }
    }
    const fs::path tmpMarker = fs::temp_directory_path() / escapeMarker();
    if (fs::exists(fs::symlink_status(tmpMarker, ec))) {
        problems += "written into the temporary folder: " + tmpMarker.string() + "\n";
        fs::remove_all(tmpMarker, ec);
    }
    return problems;
}

} // namespace sga::testing
