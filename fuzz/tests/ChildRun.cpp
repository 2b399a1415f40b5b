#include "fuzz/tests/ChildRun.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef __has_feature
#define __has_feature(x) 0
#endif

namespace sga::testing {
namespace {

// A sanitizer report ends the child with this status, so that it cannot pass
// for an ordinary failure (1).
constexpr int kSanitizerExit = 99;

std::string readAll(int fd) {
    std::string text;
    char chunk[4096];
    ::lseek(fd, 0, SEEK_SET);
    ssize_t n = 0;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
    return text;
}

std::string withOption(const char* variable, const std::string& options) {
    const char* old = std::getenv(variable);
    return std::string(variable) + "=" + (old && *old ? std::string(old) + ":" : "") + options;
}

void limit(int resource, uint64_t bytes) {
    const rlimit r{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    ::setrlimit(resource, &r);
}

} // namespace

bool underAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
}

std::string ChildResult::describe() const {
    std::string s = timedOut ? "timed out" : exited ? "exit " + std::to_string(exitCode)
                                                     : "signal " + std::to_string(signal);
    s += ", peak " + std::to_string(peakRssKb) + " KB";
    if (!err.empty()) s += ", stderr: " + err.substr(0, 2000);
    return s;
}

ChildResult runChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const ChildLimits& limits) {
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0) env.emplace_back(*e);
    }
    env.push_back(withOption("ASAN_OPTIONS", "exitcode=" + std::to_string(kSanitizerExit) +
                                                 ":max_allocation_size_mb=" +
                                                 std::to_string(limits.allocationMb)));
    std::vector<char*> argp, envp;
    for (auto& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const int outFd = ::memfd_create("child-out", 0);
    const int errFd = ::memfd_create("child-err", 0);
    ChildResult result;
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        if (!underAddressSanitizer()) limit(RLIMIT_AS, limits.addressSpaceMb << 20);
        limit(RLIMIT_FSIZE, limits.fileSizeMb << 20);
        limit(RLIMIT_CORE, 0);
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    if (pid < 0) {
        result.err = std::string("fork failed: ") + std::strerror(errno);
    } else {
        int status = 0;
        rusage usage{};
        auto pause = std::chrono::microseconds(200);
        while (true) {
            const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
            if (done == pid) break;
            if (std::chrono::steady_clock::now() - started > limits.timeout) {
                result.timedOut = true;
                ::kill(pid, SIGKILL);
                ::wait4(pid, &status, 0, &usage);
                break;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(20000));
        }
        result.peakRssKb = usage.ru_maxrss;
        if (WIFEXITED(status)) {
            result.exited = true;
            result.exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
    }
    result.out = readAll(outFd);
    result.err = result.err.empty() ? readAll(errFd) : result.err;
    ::close(outFd);
    ::close(errFd);
    return result;
}

} // namespace sga::testing
