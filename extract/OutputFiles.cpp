#include "extract/OutputFiles.h"

#include "core/Cp1252.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sga {
namespace {

std::atomic<unsigned> temporaryCounter{0};

std::string systemError(int error) { return std::strerror(error); }

std::filesystem::path temporaryNameBeside(const std::filesystem::path& target) {
    const std::string name = ".sga-" + std::to_string(::getpid()) + "-" +
                             std::to_string(temporaryCounter.fetch_add(1)) + ".part";
    return target.parent_path() / name;
}

} // namespace

OutputFile::~OutputFile() { abandon(); }

std::string OutputFile::open(const std::filesystem::path& target) {
    abandon();
    target_ = target;
    // A new file needs no temporary: nothing earlier is there to protect.
    fd_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
        written_ = target;
        replaces_ = false;
        return {};
    }
    if (errno != EEXIST) return systemError(errno);
    written_ = temporaryNameBeside(target);
    replaces_ = true;
    fd_ = ::open(written_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) return systemError(errno);
    return {};
}

std::string OutputFile::write(const uint8_t* data, size_t size) {
    if (fd_ < 0) return systemError(EBADF);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return systemError(errno);
        }
        done += static_cast<size_t>(n);
    }
    return {};
}

std::string OutputFile::commit() {
    if (fd_ < 0) return systemError(EBADF);
    const int fd = fd_;
    fd_ = -1;
    std::string failure;
    if (::close(fd) != 0) failure = systemError(errno);
    if (failure.empty() && replaces_ && ::rename(written_.c_str(), target_.c_str()) != 0)
        failure = systemError(errno);
    if (!failure.empty()) ::unlink(written_.c_str());
    written_.clear();
    return failure;
}

void OutputFile::abandon() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    ::unlink(written_.c_str());
    written_.clear();
}

std::string writeWholeFile(const std::filesystem::path& target, const uint8_t* data, size_t size) {
    OutputFile file;
    std::string failure = file.open(target);
    if (failure.empty()) failure = file.write(data, size);
    if (failure.empty()) failure = file.commit();
    return failure;
}

std::string createFolders(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return ec.message();
    if (!std::filesystem::is_directory(folder, ec)) return "not a directory";
    return {};
}

bool pathExists(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string logText(const std::string& utf8Path) { return utf8ToCp1252(utf8Path); }

std::string withSlashes(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

} // namespace sga
