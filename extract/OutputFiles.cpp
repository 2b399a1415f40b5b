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

std::string writeWholeFile(const std::filesystem::path& target, const uint8_t* data, size_t size) {
    const std::filesystem::path temporary = temporaryNameBeside(target);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return systemError(errno);
    std::string failure;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failure = systemError(errno);
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && failure.empty()) failure = systemError(errno);
    if (failure.empty() && ::rename(temporary.c_str(), target.c_str()) != 0)
        failure = systemError(errno);
    if (!failure.empty()) ::unlink(temporary.c_str());
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
