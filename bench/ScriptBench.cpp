// sga diff and sga grep against the bare loop that inflates every entry of
// one archive, each run as its own process, rounds interleaved, medians
// reported.
//
//   bench_script --sga build/cli/sga [--folder /dev/shm] [--mib 200] [--rounds 3]
//
// Two version 2 archives of about MIB MiB each are written to FOLDER: the
// second differs from the first in 1 % of its entries (same sizes, other
// bytes, so the bytes must be compared). Goals: diff within 1.2 times the
// bare loop per archive on one job, grep within 1.5 times the bare loop over
// its archive, both faster with two jobs than with one.
#include "bench/BenchArchive.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace sga;
using namespace sga::bench;
namespace fs = std::filesystem;

// Seconds of one run of argv, its output thrown away; the exit status in *status.
double runProcess(const std::vector<std::string>& args, int* status) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);   // else the child writes the buffered lines once more
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return seconds(start);
}

// The least work that reads every entry: one pread and one libdeflate call each.
double bareLoop(const fs::path& archive) {
    const auto start = Clock::now();
    const std::optional<OpenedArchive> opened = openBenchArchive(archive);
    if (!opened) return -1;
    const int in = ::open(archive.c_str(), O_RDONLY);
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::vector<uint8_t> stored, data;
    for (const ArchiveFile& f : opened->model.files) {
        stored.resize(static_cast<size_t>(f.storedSize));
        if (::pread(in, stored.data(), stored.size(), f.dataPos) != static_cast<ssize_t>(stored.size())) return -1;
        data.resize(static_cast<size_t>(f.size));
        if (f.storage == Storage::Stored) {
            std::memcpy(data.data(), stored.data(), stored.size());
        } else if (libdeflate_zlib_decompress(d, stored.data(), stored.size(), data.data(), data.size(), nullptr) !=
                   LIBDEFLATE_SUCCESS) {
            return -1;
        }
    }
    libdeflate_free_decompressor(d);
    ::close(in);
    return seconds(start);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    std::string sga;
    fs::path folder = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    int mib = 200, rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--sga") sga = value;
        else if (key == "--folder") folder = value;
        else if (key == "--mib") mib = std::stoi(value);
        else if (key == "--rounds") rounds = std::stoi(value);
    }
    if (sga.empty()) {
        std::fprintf(stderr, "usage: bench_script --sga SGA [--folder DIR] [--mib N] [--rounds N]\n");
        return 2;
    }
    ScratchDir scratch(folder);
    const fs::path oldArchive = scratch.path() / "old.big", newArchive = scratch.path() / "new.big";
    const int entries = 4000;
    const std::vector<size_t> sizes = entrySizes(entries, int64_t{mib} << 20);
    const BenchLayout layout = makeLayout(60, entries, ".lua");
    // Text, pictures and random bytes in turn; every hundredth entry differs.
    const auto kindOf = [](size_t k) { return static_cast<DataKind>(k % 3); };
    const int64_t total = writeBenchArchive(oldArchive, layout, [&](size_t k) {
        return makeData(kindOf(k), sizes[k], static_cast<uint32_t>(k));
    });
    writeBenchArchive(newArchive, layout, [&](size_t k) {
        return makeData(kindOf(k), sizes[k], static_cast<uint32_t>(k + (k % 100 == 7 ? 100000 : 0)));
    });
    std::printf("two archives of %d entries, %.0f MiB each; 1 %% of the entries differ\n", entries,
                static_cast<double>(total) / (1 << 20));

    std::vector<double> bare, diff1, diff2, grep1, grep2;
    int status = 0;
    bool wrong = false;
    for (int r = 0; r < rounds; ++r) {
        bare.push_back(bareLoop(oldArchive));
        diff1.push_back(runProcess({sga, "diff", "-j", "1", oldArchive, newArchive}, &status));
        wrong = wrong || status != 1;
        diff2.push_back(runProcess({sga, "diff", "-j", "2", oldArchive, newArchive}, &status));
        wrong = wrong || status != 1;
        grep1.push_back(runProcess({sga, "grep", "-j", "1", "-c", "Ship = (true|nil)", oldArchive}, &status));
        wrong = wrong || status > 1;
        grep2.push_back(runProcess({sga, "grep", "-j", "2", "-c", "Ship = (true|nil)", oldArchive}, &status));
        wrong = wrong || status > 1;
    }
    if (wrong) std::fprintf(stderr, "an sga run did not end as expected\n");
    const double b = median(bare);
    std::printf("%-34s %8.3f s\n", "bare loop, one archive", b);
    std::printf("%-34s %8.3f s  %.2f x the bare loop per archive\n", "sga diff -j 1", median(diff1), median(diff1) / (2 * b));
    std::printf("%-34s %8.3f s  %.2f x\n", "sga diff -j 2", median(diff2), median(diff2) / (2 * b));
    std::printf("%-34s %8.3f s  %.2f x the bare loop\n", "sga grep -j 1", median(grep1), median(grep1) / b);
    std::printf("%-34s %8.3f s  %.2f x\n", "sga grep -j 2", median(grep2), median(grep2) / b);
    return wrong ? 1 : 0;
}
