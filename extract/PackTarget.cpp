#include "extract/PackTarget.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace sga::pack {
namespace {

namespace fs = std::filesystem;

std::string systemError() { return std::strerror(errno); }

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

} // namespace

Expected<TargetState> checkTarget(const fs::path& target, bool force) {
    const std::string shown = "\"" + target.string() + "\": ";
    if (target.filename().empty()) return Status::error(ErrorCode::BadField, shown + "not a file name");
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) {
        if (errno == ENOENT) return TargetState{};
        return Status::error(ErrorCode::CannotOpen, shown + "cannot check the target: " + systemError());
    }
    if (S_ISDIR(st.st_mode)) return Status::error(ErrorCode::BadField, shown + "the target is a folder");
    if (!S_ISREG(st.st_mode))
        return Status::error(ErrorCode::BadField, shown + "the target is " + std::string(kindOf(st.st_mode)) +
                                                      "; pack replaces only a regular file");
    // Write bits count for the superuser too, whom access() lets through.
    const bool readOnly = (st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0;
    if (readOnly && !force)
        return Status::error(ErrorCode::BadField, shown + "the target is read-only; --force replaces it");
    return TargetState{true, st.st_mode, st.st_uid, st.st_gid};
}

TemporaryArchive::TemporaryArchive(const fs::path& target) : target_(target) {
    static std::atomic<unsigned> counter{0};
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    path_ = folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "-" +
                      std::to_string(counter.fetch_add(1)) + ".tmp");
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) error_ = systemError();
}

TemporaryArchive::~TemporaryArchive() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(path_.c_str());
}

Status TemporaryArchive::opened() const {
    if (fd_ >= 0) return {};
    return Status::error(ErrorCode::WriteFailed, "cannot create \"" + target_.string() + "\": " + error_);
}

Status TemporaryArchive::writeAt(const uint8_t* data, size_t size, uint64_t offset) const {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Status::error(ErrorCode::WriteFailed, "cannot write \"" + path_.string() + "\": " + systemError());
        }
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return {};
}

Status TemporaryArchive::truncate(uint64_t size) const {
    if (::ftruncate(fd_, static_cast<off_t>(size)) == 0) return {};
    return Status::error(ErrorCode::WriteFailed, "cannot write \"" + path_.string() + "\": " + systemError());
}

Status TemporaryArchive::commit(const TargetState& earlier) {
    auto failed = [&](const std::string& why) {
        return Status::error(ErrorCode::WriteFailed, "cannot write \"" + target_.string() + "\": " + why);
    };
    if (earlier.exists) {
        // The owner first: changing it may clear set-id bits that fchmod then restores.
        if (::fchown(fd_, earlier.owner, earlier.group) != 0) (void)!::fchown(fd_, static_cast<uid_t>(-1), earlier.group);
        if (::fchmod(fd_, earlier.mode & 07777) != 0) return failed(systemError());
    }
    if (::fsync(fd_) != 0) return failed(systemError());
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const std::string why = systemError();
        ::unlink(path_.c_str());
        return failed(why);
    }
    // What sits at the target now must still be a regular file (or nothing).
    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        ::unlink(path_.c_str());
        return failed("the target became " + std::string(kindOf(st.st_mode)) + " while packing");
    }
    if (::rename(path_.c_str(), target_.c_str()) != 0) {
        const std::string why = systemError();
        ::unlink(path_.c_str());
        return failed(why);
    }
    return {};
}

} // namespace sga::pack
