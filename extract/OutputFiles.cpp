#include "extract/OutputFiles.h"

#include "core/Cp1252.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sga {
namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> temporaryCounter{0};

std::string systemError(int error) { return std::strerror(error); }

std::string temporaryName(const char* kind) {
    return ".sga-" + std::to_string(::getpid()) + "-" + std::to_string(temporaryCounter.fetch_add(1)) + kind;
}

int openFolderIn(int at, const char* name, bool followLink) {
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (!followLink) flags |= O_NOFOLLOW;
    int fd;
    do fd = ::openat(at, name, flags);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Why the part at shown could not be opened as a folder: a link is named as one.
Status folderFailure(int at, const std::string& part, const std::string& shown, bool last, int error) {
    struct stat st {};
    if (::fstatat(at, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) return Status::error(ErrorCode::WriteFailed, shown + " is a symbolic link (not followed)");
        if (!S_ISDIR(st.st_mode))
            return Status::error(ErrorCode::WriteFailed, last ? std::string("a file of that name exists")
                                                                       : "a file is in the way: " + shown);
    }
    return Status::error(ErrorCode::WriteFailed, shown + ": " + systemError(error));
}

} // namespace

Folder::~Folder() {
    if (fd_ >= 0) ::close(fd_);
}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

Expected<Folder> openUserFolder(const fs::path& folder, bool create) {
    if (create) {
        if (Status made = createFolders(folder); !made) return made;
    }
    const int fd = openFolderIn(AT_FDCWD, folder.empty() ? "." : folder.c_str(), true);
    if (fd < 0) {
        const int error = errno;
        return Status::error(ErrorCode::WriteFailed,
                             error == ENOTDIR ? std::string("a file of that name exists") : systemError(error));
    }
    return Folder(fd);
}

Expected<Folder> openFolderBelow(const Folder& base, const fs::path& relative, bool create, bool* madeLast) {
    if (madeLast) *madeLast = false;
    int fd = openFolderIn(base.fd(), ".", false);
    if (fd < 0) return Status::error(ErrorCode::WriteFailed, systemError(errno));
    Folder current(fd);
    std::vector<std::string> parts;
    for (const fs::path& part : relative)
        if (!part.empty() && part != ".") parts.push_back(part.string());
    std::string shown;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        const bool last = i + 1 == parts.size();
        shown += (shown.empty() ? "" : "/") + part;
        if (part == "..") return Status::error(ErrorCode::WriteFailed, shown + ": a path may not go up");
        bool made = false;
        fd = openFolderIn(current.fd(), part.c_str(), false);
        if (fd < 0 && errno == ENOENT && create) {
            if (::mkdirat(current.fd(), part.c_str(), 0777) == 0)
                made = true;
            else if (errno != EEXIST)
                return folderFailure(current.fd(), part, shown, last, errno);
            fd = openFolderIn(current.fd(), part.c_str(), false);
        }
        if (fd < 0) return folderFailure(current.fd(), part, shown, last, errno);
        current = Folder(fd);
        if (madeLast) *madeLast = made;
    }
    return current;
}

NodeKind nodeKindIn(const Folder& folder, const std::string& name) {
    struct stat st {};
    if (::fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return NodeKind::Missing;
    if (S_ISLNK(st.st_mode)) return NodeKind::Link;
    if (S_ISDIR(st.st_mode)) return NodeKind::Folder;
    if (S_ISREG(st.st_mode)) return NodeKind::File;
    return NodeKind::Other;
}

bool foldsLetterCase(const Folder& folder) {
    const std::string lower = temporaryName("-case.part");
    std::string upper = lower;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    const int fd = ::openat(folder.fd(), lower.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    const bool folds = nodeKindIn(folder, upper) == NodeKind::File;
    ::unlinkat(folder.fd(), lower.c_str(), 0);
    return folds;
}

// ---------------------------------------------------------------- OutputFile

OutputFile::~OutputFile() { abandon(); }

Status OutputFile::fail(int error, const std::string& what) {
    lastError_ = error;
    return Status::error(ErrorCode::WriteFailed, what.empty() ? systemError(error) : what);
}

Status OutputFile::open(const Folder& folder, const std::string& name) {
    abandon();
    lastError_ = 0;
    const int dup = ::fcntl(folder.fd(), F_DUPFD_CLOEXEC, 0);
    if (dup < 0) return fail(errno);
    folder_ = Folder(dup);
    name_ = name;
    temporary_ = temporaryName(".part");
    fd_ = ::openat(folder_.fd(), temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        const int error = errno;
        temporary_.clear();
        return fail(error);
    }
    return {};
}

Status OutputFile::open(const fs::path& target) {
    Expected<Folder> folder = openUserFolder(target.parent_path(), false);
    if (!folder) return folder.status();
    return open(*folder, target.filename().string());
}

Status OutputFile::write(const uint8_t* data, size_t size) {
    if (fd_ < 0) return fail(EBADF);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (n == 0) return fail(ENOSPC);
        done += static_cast<size_t>(n);
    }
    return {};
}

Status OutputFile::commit() {
    if (fd_ < 0) return fail(EBADF);
    const int fd = fd_;
    fd_ = -1;
    Status result;
    if (::close(fd) != 0) result = fail(errno);
    // A link at the name was not made by this run: refuse it rather than
    // replace it, so that the refusal reads as for a link on the way.
    if (result.ok()) {
        switch (nodeKindIn(folder_, name_)) {
        case NodeKind::Link: result = fail(ELOOP, name_ + " is a symbolic link (not followed)"); break;
        case NodeKind::Folder: result = fail(EISDIR, name_ + ": a folder of that name exists"); break;
        default: break;
        }
    }
    if (result.ok() && ::renameat(folder_.fd(), temporary_.c_str(), folder_.fd(), name_.c_str()) != 0)
        result = fail(errno);
    if (!result.ok()) ::unlinkat(folder_.fd(), temporary_.c_str(), 0);
    temporary_.clear();
    folder_ = Folder();
    return result;
}

void OutputFile::abandon() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    ::unlinkat(folder_.fd(), temporary_.c_str(), 0);
    temporary_.clear();
    folder_ = Folder();
}

Status writeWholeFileIn(const Folder& folder, const std::string& name, const uint8_t* data, size_t size) {
    OutputFile file;
    Status status = file.open(folder, name);
    if (status) status = file.write(data, size);
    if (status) status = file.commit();
    return status;
}

Status writeWholeFile(const fs::path& target, const uint8_t* data, size_t size) {
    OutputFile file;
    Status status = file.open(target);
    if (status) status = file.write(data, size);
    if (status) status = file.commit();
    return status;
}

Status createFolders(const fs::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return Status::error(ErrorCode::WriteFailed, ec.message());
    if (!std::filesystem::is_directory(folder, ec)) return Status::error(ErrorCode::WriteFailed, "not a directory");
    return {};
}

bool pathExists(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string logText(const std::string& utf8Path) { return utf8ToCp1252(utf8Path); }

std::string withSlashes(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

} // namespace sga
