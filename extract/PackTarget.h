#pragma once
// Packing, the output half: the target may only be a regular file (or
// nothing yet); the archive is written under a temporary name beside it and
// renamed over it once complete, keeping an earlier archive's permission
// bits and owner.

#include "core/Status.h"

#include <cstdint>
#include <filesystem>
#include <sys/types.h>

namespace sga::pack {

struct TargetState {
    bool exists = false;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
};

// Fails, in one line, for a target that exists and is not a regular file
// (a folder, device, FIFO, socket or link), and for a read-only one unless
// force.
Expected<TargetState> checkTarget(const std::filesystem::path& target, bool force);

// The archive under a temporary name beside the target; removed unless committed.
class TemporaryArchive {
public:
    explicit TemporaryArchive(const std::filesystem::path& target);
    ~TemporaryArchive();
    TemporaryArchive(const TemporaryArchive&) = delete;
    TemporaryArchive& operator=(const TemporaryArchive&) = delete;

    Status opened() const;
    const std::filesystem::path& path() const { return path_; }
    Status writeAt(const uint8_t* data, size_t size, uint64_t offset) const;
    // Cuts the file at size (bytes written past it before are dropped).
    Status truncate(uint64_t size) const;
    // Gives the file the earlier target's permission bits and owner (where
    // the system lets it), then renames it over the target.
    Status commit(const TargetState& earlier);

private:
    std::filesystem::path target_;
    std::filesystem::path path_;
    int fd_ = -1;
    std::string error_;
};

} // namespace sga::pack
