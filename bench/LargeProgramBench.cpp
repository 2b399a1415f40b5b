// The whole program on an archive above 5 GiB: a version 10 archive written
// by the test writer with its stored entries as holes of a sparse file (two
// of several GiB, one beyond 4 GiB), small zlib entries past 5 GiB and a
// zlib entry of several hundred MiB. `sga list`, `sga verify` and `sga
// extract` run on it as child processes; each reports its time and peak
// resident memory.
//
//   bench_large_program [--folder /dev/shm] [--packed-mib 400]
#include "tests/support/LayoutWriter.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace sga::testing;
namespace fs = std::filesystem;
constexpr int64_t kMiB = int64_t{1} << 20;
constexpr int64_t kGiB = int64_t{1} << 30;

FilePlan hole(const std::string& name, uint64_t at, uint32_t size) {
    FilePlan f{.name = name, .verification = 0};
    f.dataOffset = at;
    f.storedSize = size;
    f.size = size;
    return f;
}

// Text that compresses about as well as game scripts do.
Bytes scriptLike(int64_t size) {
    Bytes b(static_cast<size_t>(size));
    uint32_t x = 12345;
    for (size_t i = 0; i < b.size(); ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = static_cast<uint8_t>("abcdefgh ijklmnop\n=(){}"[(x >> 16) % 23]);
    }
    return b;
}

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

Run runChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Run r;
    rusage usage{};
    int status = 0;
    ::wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakKiB = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    fs::path folder = "/dev/shm";
    int64_t packedMiB = 400;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--folder") == 0) folder = argv[i + 1];
        if (std::strcmp(argv[i], "--packed-mib") == 0) packedMiB = std::stoll(argv[i + 1]);
    }
    const fs::path work = folder / ("sga-large-" + std::to_string(::getpid()));
    fs::create_directories(work);
    const fs::path archive = work / "large.sga";

    // The plan and its bytes are gone before the children start, so that
    // their peak resident memory is their own, not a fork of this process's.
    {
        LayoutPlan plan;
        plan.layout = sga::Layout::V10;
        DrivePlan drive;
        FolderPlan big{.name = "big"};
        big.files.push_back(hole("first.bin", 0, static_cast<uint32_t>(3 * kGiB + kGiB / 2)));
        big.files.push_back(hole("beyond-4gib.bin", static_cast<uint64_t>(3 * kGiB + kGiB / 2),
                                 static_cast<uint32_t>(2 * kGiB)));
        FolderPlan scripts{.name = "scripts"};
        uint64_t at = static_cast<uint64_t>(5 * kGiB + kGiB / 2);
        for (int i = 0; i < 8; ++i) {
            FilePlan f{.name = "s" + std::to_string(i) + ".lua", .data = scriptLike(64 * 1024 + i),
                       .storeAs = StoreAs::ZlibStream};
            f.dataOffset = at;
            at += 1 * kMiB;
            scripts.files.push_back(f);
        }
        std::printf("compressing the %lld MiB entry...\n", static_cast<long long>(packedMiB));
        FilePlan large{.name = "large.lua", .data = scriptLike(packedMiB * kMiB), .storeAs = StoreAs::ZlibStream,
                       .verification = 3};
        large.dataOffset = at;
        scripts.files.push_back(large);
        drive.root.folders = {big, scripts};
        plan.drives = {drive};
        const LayoutBytes parts = buildLayoutParts(plan);

        const int fd = ::open(archive.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) throw std::runtime_error("cannot create " + archive.string());
        auto writeAt = [&](const Bytes& b, int64_t pos) {
            if (!b.empty() && ::pwrite(fd, b.data(), b.size(), pos) != static_cast<ssize_t>(b.size()))
                throw std::runtime_error("cannot write the archive");
        };
        writeAt(parts.head, 0);
        int64_t end = static_cast<int64_t>(parts.head.size());
        for (size_t i = 0; i < parts.stored.size(); ++i) {
            writeAt(parts.stored[i], parts.dataPos[i]);
            end = std::max(end, parts.dataPos[i] + static_cast<int64_t>(parts.stored[i].size()));
        }
        // The holes' ends: the last stored entry may be a hole.
        end = std::max(end, parts.dataOffset + static_cast<int64_t>(3 * kGiB + kGiB / 2 + 2 * kGiB));
        if (::ftruncate(fd, end) != 0) throw std::runtime_error("cannot size the archive");
        ::close(fd);
        std::printf("archive: %.2f GiB (sparse), data at %lld\n", static_cast<double>(end) / kGiB,
                    static_cast<long long>(parts.dataOffset));
    }
    ::malloc_trim(0);
    std::fflush(stdout);

    const std::string sga = SGA_BINARY;
    const std::vector<std::pair<std::string, std::vector<std::string>>> runs = {
        {"list", {sga, "list", "-l", archive.string()}},
        {"verify", {sga, "verify", archive.string()}},
        {"extract", {sga, "extract", archive.string(), "-o", (work / "out").string()}},
    };
    for (const auto& [what, args] : runs) {
        const Run r = runChild(args);
        std::fflush(stdout);
        std::printf("%-8s exit %d, %.2f s, peak resident %.1f MiB\n", what.c_str(), r.status, r.seconds,
                    static_cast<double>(r.peakKiB) / 1024.0);
    }
    fs::remove_all(work);
    return 0;
}
