// sga pack of a generated folder of about 200 MiB in 5,000 files (the
// content of the extraction benchmark), with one and with two jobs, against a
// bare loop that only reads every file and compresses it with the same
// library at the same level; and the archive's size beside zip -9. Then the
// same folder into version 10 archives, zlib and Brotli, with one job and
// the default, each run in its own process for its time, size and peak
// resident memory, beside zip -9 -r and brotli -q 9 of every file.
//
//   bench_pack [--folder /dev/shm] [--rounds 3] [--entries 5000] [--mib 200] [--level 9]
//              [--no-zip] [--no-v2]
#include "bench/BenchArchive.h"
#include "core/ActivityLog.h"
#include "core/ReportSink.h"
#include "extract/OrderedPipeline.h"
#include "extract/Pack.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <libdeflate.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace sga;
using namespace sga::bench;
namespace fs = std::filesystem;


double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// Writes the benchmark's files under root; returns their paths and total size.
std::vector<fs::path> writeContent(const fs::path& root, int entries, int64_t mib, int64_t& total) {
    const BenchLayout layout = makeLayout(50, entries, ".dat");
    const std::vector<size_t> sizes = entrySizes(entries, mib << 20);
    for (std::string d : layout.directories) {
        std::replace(d.begin(), d.end(), '\\', '/');
        fs::create_directories(root / d);
    }
    std::vector<fs::path> paths;
    total = 0;
    for (size_t k = 0; k < layout.files.size(); ++k) {
        std::string d = layout.directories[static_cast<size_t>(layout.files[k].directory)];
        std::replace(d.begin(), d.end(), '\\', '/');
        const fs::path path = root / d / layout.files[k].name;
        const std::vector<uint8_t> data = makeData(static_cast<DataKind>(k % 3), sizes[k], static_cast<uint32_t>(k));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) std::abort();
        ::close(fd);
        paths.push_back(path);
        total += static_cast<int64_t>(data.size());
    }
    return paths;
}

// Reads every file whole and compresses it into one zlib stream; returns the
// total of the compressed sizes.
int64_t bareLoop(const std::vector<fs::path>& paths, int level) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    std::vector<uint8_t> data, out;
    int64_t stored = 0;
    for (const fs::path& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        const off_t size = ::lseek(fd, 0, SEEK_END);
        data.resize(static_cast<size_t>(size));
        if (fd < 0 || ::pread(fd, data.data(), data.size(), 0) != static_cast<ssize_t>(data.size())) std::abort();
        ::close(fd);
        out.resize(libdeflate_zlib_compress_bound(compressor, data.size()));
        stored += static_cast<int64_t>(
            libdeflate_zlib_compress(compressor, data.data(), data.size(), out.data(), out.size()));
    }
    libdeflate_free_compressor(compressor);
    return stored;
}

// Runs body in a child process; its wall time and peak resident memory.
struct Measured {
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};
template <class Body>
Measured inChild(Body body) {
    const auto t0 = Clock::now();
    const pid_t child = ::fork();
    if (child < 0) return {};
    if (child == 0) ::_exit(body() ? 0 : 1);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return {seconds(t0), usage.ru_maxrss, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

bool shell(const std::string& command) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    return false;
}

int64_t bytesUnder(const fs::path& root, const std::string& suffix) {
    int64_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().string().ends_with(suffix)) total += static_cast<int64_t>(e.file_size());
    return total;
}

// Version 10 with zlib (level 9) and Brotli (level 10: quality 9), one job and
// the default, against zip -9 -r and brotli -q 9 over the same files.
void versionTen(const fs::path& scratch, const fs::path& content, double mibTotal) {
    std::printf("\nversion 10, each run in its own process (time, size, peak resident memory):\n");
    auto row = [&](const char* what, const Measured& m, int64_t bytes) {
        std::printf("  %-28s %7.1f s  %8.1f MiB/s  %8.2f MiB  ratio %.3f  peak %6.1f MiB%s\n", what, m.seconds,
                    mibTotal / m.seconds, static_cast<double>(bytes) / (1 << 20),
                    static_cast<double>(bytes) / (mibTotal * (1 << 20)), static_cast<double>(m.peakKiB) / 1024,
                    m.ok ? "" : "  FAILED");
    };
    for (PackStorage storage : {PackStorage::Zlib, PackStorage::Brotli}) {
        for (int jobs : {1, defaultJobs()}) {
            const fs::path target = scratch / "v10.sga";
            const Measured m = inChild([&] {
                PackOptions o;
                o.drives = {{"data", content}};
                o.target = target;
                o.layout = PackLayout::V10;
                o.storage = storage;
                o.level = storage == PackStorage::Brotli ? 10 : 9;
                o.jobs = jobs;
                o.mtime = 0;
                NullLog none;
                ReportSink host;
                return packArchive(o, none, host).ok;
            });
            const std::string what = std::string("sga pack v10 ") + (storage == PackStorage::Brotli ? "brotli" : "zlib") +
                                     " -j " + std::to_string(jobs);
            row(what.c_str(), m, static_cast<int64_t>(fs::file_size(target)));
        }
    }
    const fs::path zipFile = scratch / "content.zip";
    const Measured zip = inChild([&] { return shell("cd '" + content.string() + "' && exec zip -9 -r -q '" + zipFile.string() + "' ."); });
    row("zip -9 -r", zip, zip.ok ? static_cast<int64_t>(fs::file_size(zipFile)) : 0);
    const Measured br = inChild([&] {
        return shell("cd '" + content.string() + "' && find . -type f -print0 | xargs -0 -n 500 brotli -q 9 -k -f");
    });
    row("brotli -q 9 (every file)", br, bytesUnder(content, ".br"));
    for (const auto& e : fs::recursive_directory_iterator(content))
        if (e.path().string().ends_with(".br")) fs::remove(e.path());
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);   // rounds show as they end
    fs::path folder = "/dev/shm";
    int rounds = 3, entries = 5000, level = 9;
    int64_t mib = 200;
    bool zip = true, v2 = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--no-zip") { zip = false; continue; }
        if (arg == "--no-v2") { v2 = false; continue; }
        if (arg == "--folder") folder = value;
        else if (arg == "--rounds") rounds = std::max(1, std::atoi(value));
        else if (arg == "--entries") entries = std::max(1, std::atoi(value));
        else if (arg == "--mib") mib = std::max(1, std::atoi(value));
        else if (arg == "--level") level = std::clamp(std::atoi(value), 1, 12);
        ++i;
    }
    ScratchDir scratch(folder);
    const fs::path content = scratch.path() / "content";
    int64_t total = 0;
    auto start = Clock::now();
    const std::vector<fs::path> paths = writeContent(content, entries, mib, total);
    const double mibTotal = static_cast<double>(total) / (1 << 20);
    std::printf("folder written in %.1f s: %d files, %.1f MiB; level %d\n", seconds(start), entries, mibTotal, level);

    if (!v2) {
        versionTen(scratch.path(), content, mibTotal);
        return 0;
    }
    NullLog none;
    ReportSink host;
    auto packWith = [&](int jobs) {
        PackOptions o;
        o.drives = {{"Data", content}};
        o.target = scratch.path() / ("jobs" + std::to_string(jobs) + ".big");
        o.level = level;
        o.jobs = jobs;
        o.mtime = 0;
        o.archiveName = "Data";
        const PackReport report = packArchive(o, none, host);
        if (!report.ok) {
            std::fprintf(stderr, "pack failed: %s\n", report.error.c_str());
            std::exit(1);
        }
        return report.archiveBytes;
    };

    std::vector<double> bare, one, two, bareCpu, oneCpu, twoCpu;
    int64_t bareStored = 0, archiveBytes = 0;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        double c0 = cpuSeconds();
        bareStored = bareLoop(paths, level);
        bare.push_back(seconds(t0));
        bareCpu.push_back(cpuSeconds() - c0);
        t0 = Clock::now();
        c0 = cpuSeconds();
        archiveBytes = packWith(1);
        one.push_back(seconds(t0));
        oneCpu.push_back(cpuSeconds() - c0);
        t0 = Clock::now();
        c0 = cpuSeconds();
        if (packWith(2) != archiveBytes) std::printf("jobs 2 wrote a different size!\n");
        two.push_back(seconds(t0));
        twoCpu.push_back(cpuSeconds() - c0);
        std::printf("round %d wall (cpu) s: bare %.3f (%.3f), pack --jobs 1 %.3f (%.3f), pack --jobs 2 %.3f (%.3f)\n",
                    r + 1, bare.back(), bareCpu.back(), one.back(), oneCpu.back(), two.back(), twoCpu.back());
    }
    const bool same = [&] {
        std::FILE* a = std::fopen((scratch.path() / "jobs1.big").c_str(), "rb");
        std::FILE* b = std::fopen((scratch.path() / "jobs2.big").c_str(), "rb");
        bool equal = a && b;
        for (int ca = 0, cb = 0; equal && ca != EOF;) {
            ca = std::fgetc(a);
            cb = std::fgetc(b);
            equal = ca == cb;
        }
        if (a) std::fclose(a);
        if (b) std::fclose(b);
        return equal;
    }();
    auto rate = [&](double s) { return mibTotal / s; };
    std::printf("median MiB/s: bare %.1f, pack --jobs 1 %.1f, pack --jobs 2 %.1f\n", rate(median(bare)),
                rate(median(one)), rate(median(two)));
    std::printf("median: pack --jobs 1 / bare %.2f of the throughput; --jobs 2 %.2f times --jobs 1\n",
                median(bare) / median(one), median(one) / median(two));
    std::printf("fastest rounds: pack --jobs 1 / bare %.2f; --jobs 2 %.2f times --jobs 1\n",
                fastest(bare) / fastest(one), fastest(one) / fastest(two));
    std::printf("archives of --jobs 1 and --jobs 2 %s\n", same ? "identical" : "DIFFER");
    std::printf("sizes: original %.1f MiB, bare streams %.1f MiB, archive %.1f MiB (%lld bytes)\n", mibTotal,
                static_cast<double>(bareStored) / (1 << 20), static_cast<double>(archiveBytes) / (1 << 20),
                static_cast<long long>(archiveBytes));
    if (zip) {
        const fs::path zipFile = scratch.path() / "content.zip";
        const std::string command = "cd '" + content.string() + "' && zip -9 -r -q '" + zipFile.string() + "' .";
        const auto t0 = Clock::now();
        if (std::system(command.c_str()) == 0) {
            const double s = seconds(t0);
            const auto zipBytes = static_cast<int64_t>(fs::file_size(zipFile));
            std::printf("zip -9 -r: %.1f MiB (%lld bytes) in %.1f s; archive / zip %.3f\n",
                        static_cast<double>(zipBytes) / (1 << 20), static_cast<long long>(zipBytes), s,
                        static_cast<double>(archiveBytes) / static_cast<double>(zipBytes));
        } else {
            std::printf("zip -9 -r: not available\n");
        }
    }
    versionTen(scratch.path(), content, mibTotal);
    return 0;
}
