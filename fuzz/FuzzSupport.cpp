#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace sga::fuzz {

InputFile::InputFile() {
    fd_ = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd_ < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

const std::filesystem::path& InputFile::write(const uint8_t* data, size_t size) {
    if (::ftruncate(fd_, 0) != 0) std::abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) {
            std::perror("pwrite");
            std::abort();
        }
        done += static_cast<size_t>(n);
    }
    return path_;
}

InputFile& inputFile() {
    static InputFile file;
    return file;
}

void checkFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

} // namespace sga::fuzz
