// The whole program against the bare loops, each run as its own process on
// the same archive, output to a RAM-backed folder: extract with one job and
// with the default, verify likewise, rounds interleaved, medians reported.
//
//   bench_process --sga build/cli/sga --bare build/bench/bench_bare --archive FILE
//                 [--folder /dev/shm] [--rounds 7]
// (FILE: for example the archive bench_extract --archive FILE keeps.)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Sample {
    double wall = 0, cpu = 0;
    long peakKiB = 0;
};

// Runs argv with stdout and stderr sent to /dev/null.
Sample runProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Sample s;
    s.wall = std::chrono::duration<double>(Clock::now() - start).count();
    auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    s.cpu = sec(usage.ru_utime) + sec(usage.ru_stime);
    s.peakKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) std::fprintf(stderr, "cannot run %s\n", argv[0]);
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    std::string sga, bare, archive, folder = "/dev/shm";
    int rounds = 7;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--sga") sga = argv[i + 1];
        else if (arg == "--bare") bare = argv[i + 1];
        else if (arg == "--archive") archive = argv[i + 1];
        else if (arg == "--folder") folder = argv[i + 1];
        else if (arg == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    if (sga.empty() || bare.empty() || archive.empty()) {
        std::fprintf(stderr, "usage: bench_process --sga SGA --bare BARE --archive FILE [--folder DIR] [--rounds N]\n");
        return 2;
    }
    const fs::path out = fs::path(folder) / ("sga-bench-process-" + std::to_string(::getpid()));
    const std::vector<std::pair<std::string, std::vector<std::string>>> variants = {
        {"bare extract", {bare, "extract", archive, out.string()}},
        {"extract --jobs 1", {sga, "extract", "--jobs", "1", "-o", out.string(), archive}},
        {"extract (default jobs)", {sga, "extract", "-o", out.string(), archive}},
        {"bare verify", {bare, "verify", archive}},
        {"verify --jobs 1", {sga, "verify", "--jobs", "1", archive}},
        {"verify (default jobs)", {sga, "verify", archive}},
    };
    std::map<std::string, std::vector<Sample>> samples;
    for (int r = 0; r < rounds; ++r) {
        for (const auto& [name, args] : variants) {
            fs::remove_all(out);
            fs::create_directories(out);
            samples[name].push_back(runProcess(args));
        }
    }
    fs::remove_all(out);
    std::map<std::string, double> wall, cpu;
    for (const auto& [name, args] : variants) {
        std::vector<double> w, c;
        long peak = 0;
        for (const Sample& s : samples[name]) {
            w.push_back(s.wall);
            c.push_back(s.cpu);
            peak = std::max(peak, s.peakKiB);
        }
        wall[name] = median(w);
        cpu[name] = median(c);
        std::printf("%-24s median wall %.3f s, CPU %.3f s, peak %ld MiB (runs:", name.c_str(), wall[name], cpu[name],
                    peak / 1024);
        for (double x : w) std::printf(" %.3f", x);
        std::printf(")\n");
    }
    std::printf("extract --jobs 1 / bare: %.2f of its pace (CPU %.2f)\n", wall["bare extract"] / wall["extract --jobs 1"],
                cpu["bare extract"] / cpu["extract --jobs 1"]);
    std::printf("extract default vs --jobs 1: %.2f times as fast\n",
                wall["extract --jobs 1"] / wall["extract (default jobs)"]);
    std::printf("verify --jobs 1 / bare: %.2f of its pace (CPU %.2f)\n", wall["bare verify"] / wall["verify --jobs 1"],
                cpu["bare verify"] / cpu["verify --jobs 1"]);
    std::printf("verify default vs --jobs 1: %.2f times as fast\n",
                wall["verify --jobs 1"] / wall["verify (default jobs)"]);
    return 0;
}
