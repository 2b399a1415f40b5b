// A preloaded write() for tests of what the program does when the disk
// fills up or a signal comes half-way. Counts the bytes written to the
// program's temporary output files (".sga-" names; logs and standard
// streams are left alone) and:
//   SGA_FAULT_NOSPACE_AFTER=N   fails every write past N bytes with ENOSPC
//                               (a write that crosses N is cut there);
//   SGA_FAULT_SIGNAL_AFTER=N:S  raises signal S once N bytes are written.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using WriteFunction = ssize_t (*)(int, const void*, size_t);

std::atomic<long long> written{0};
std::atomic<bool> signalled{false};

long long envNumber(const char* name, int* signalNumber) {
    const char* text = getenv(name);
    if (!text || !*text) return -1;
    char* end = nullptr;
    const long long n = strtoll(text, &end, 10);
    if (signalNumber && end && *end == ':') *signalNumber = atoi(end + 1);
    return n;
}

bool isOutputTemporary(int fd) {
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), path, sizeof path - 1);
    if (n <= 0) return false;
    path[n] = 0;
    return std::strstr(path, "/.sga-") != nullptr;
}

} // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    static const auto real = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
    if (fd <= 2 || !isOutputTemporary(fd)) return real(fd, data, size);

    const long long noSpaceAfter = envNumber("SGA_FAULT_NOSPACE_AFTER", NULL);
    if (noSpaceAfter >= 0) {
        const long long before = written.load();
        if (before >= noSpaceAfter) {
            errno = ENOSPC;
            return -1;
        }
        if (static_cast<long long>(size) > noSpaceAfter - before) size = static_cast<size_t>(noSpaceAfter - before);
    }
    const ssize_t n = real(fd, data, size);
    if (n > 0) {
        const long long total = written.fetch_add(n) + n;
        int signalNumber = 0;
        const long long signalAfter = envNumber("SGA_FAULT_SIGNAL_AFTER", &signalNumber);
        if (signalAfter >= 0 && total >= signalAfter && signalNumber > 0 && !signalled.exchange(true))
            std::raise(signalNumber);
    }
    return n;
}
