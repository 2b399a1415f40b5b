#include "core/ActivityLog.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace sga {

std::string LogSink::numberForm(int32_t number) {
    if (number < 0) return std::to_string(number) + " ";
    return " " + std::to_string(number) + " ";
}

void ActivityLog::line(std::string_view text) {
    int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::string buffer;
    buffer.reserve(text.size() + 2);
    buffer.append(text);
    buffer.append("\r\n");
    // One write per line so that two programs appending to the same file
    // interleave whole lines.
    const char* p = buffer.data();
    size_t left = buffer.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

bool ActivityLog::restart() const {
    std::error_code ec;
    std::filesystem::remove(file_, ec);
    return !ec;
}

} // namespace sga
