#include "core/FileReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sga {
namespace {
constexpr size_t kBufferSize = 64 * 1024;
// Reads at least this large skip the buffer: an entry's bytes are read once,
// and a buffer filled past them would only be thrown away by a reader that
// jumps elsewhere next (as parallel extraction does).
constexpr size_t kDirectReadSize = 8 * 1024;
}

FileReader::~FileReader() { close(); }

bool FileReader::open(const std::filesystem::path& path) {
    close();
    error_.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error_ = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error_ = S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file";
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = st.st_size;
    pos_ = 0;
    bufferStart_ = 0;
    bufferLength_ = 0;
    return true;
}

void FileReader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    pos_ = 0;
    bufferLength_ = 0;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool FileReader::seek(int64_t offset) {
    if (fd_ < 0 || offset < 0 || offset > size_) return false;
    pos_ = offset;
    return true;
}

bool FileReader::fill() {
    if (buffer_.size() != kBufferSize) buffer_.resize(kBufferSize);
    bufferStart_ = pos_;
    bufferLength_ = 0;
    while (bufferLength_ < kBufferSize) {
        ssize_t n = ::pread(fd_, buffer_.data() + bufferLength_, kBufferSize - bufferLength_,
                            bufferStart_ + static_cast<int64_t>(bufferLength_));
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        bufferLength_ += static_cast<size_t>(n);
    }
    return true;
}

bool FileReader::read(void* out, size_t n) {
    if (fd_ < 0) return false;
    if (n == 0) return true;
    if (static_cast<uint64_t>(remaining()) < n) {
        error_ = "unexpected end of file";
        return false;
    }
    auto* dst = static_cast<uint8_t*>(out);
    const int64_t start = pos_;
    size_t done = 0;
    // Large reads go straight to the caller's memory.
    if (n >= kDirectReadSize) {
        while (done < n) {
            ssize_t r = ::pread(fd_, dst + done, n - done, start + static_cast<int64_t>(done));
            if (r < 0) {
                if (errno == EINTR) continue;
                error_ = std::strerror(errno);
                return false;
            }
            if (r == 0) {
                error_ = "unexpected end of file";
                return false;
            }
            done += static_cast<size_t>(r);
        }
        pos_ += static_cast<int64_t>(n);
        return true;
    }
    while (done < n) {
        const int64_t at = start + static_cast<int64_t>(done);
        if (at < bufferStart_ || at >= bufferStart_ + static_cast<int64_t>(bufferLength_)) {
            pos_ = at;
            if (!fill() || bufferLength_ == 0) {
                pos_ = start;
                if (error_.empty()) error_ = "unexpected end of file";
                return false;
            }
        }
        const size_t offset = static_cast<size_t>(at - bufferStart_);
        const size_t chunk = std::min(n - done, bufferLength_ - offset);
        std::memcpy(dst + done, buffer_.data() + offset, chunk);
        done += chunk;
    }
    pos_ = start + static_cast<int64_t>(n);
    return true;
}

bool FileReader::readByte(uint8_t& out) { return read(&out, 1); }

} // namespace sga
