// Extract all of a generated archive of about 200 MiB in 5,000 entries,
// against a bare loop that inflates every entry with the same library and
// writes it with one write call; and with two jobs against one.
//
//   bench_extract [--folder /dev/shm] [--rounds 3] [--entries 5000] [--mib 200]
//                 [--archive FILE]   (reuse FILE, or keep the generated archive there)
//                 [--variants bare,one,logged,two]   (for profiling one of them)
#include "archive/ArchiveTree.h"
#include "core/ReportSink.h"
#include "archive/ArchiveOpen.h"
#include "archive/modSGA.h"
#include "bench/BenchArchive.h"
#include "extract/Extract.h"
#include "core/ActivityLog.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace sga;
using namespace sga::bench;
namespace fs = std::filesystem;

// Inflates every file entry with libdeflate and writes it with one write
// call, to the same paths Extract all uses (folders made first).
void bareLoop(const ArchiveIndex& index, const fs::path& archive, const fs::path& out) {
    for (int i = 0; i < index.dirCount(); ++i) {
        std::string d = index.entries[static_cast<size_t>(i)].name;
        std::replace(d.begin(), d.end(), '\\', '/');
        fs::create_directories(out / d);
    }
    const int in = ::open(archive.c_str(), O_RDONLY);
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    std::vector<uint8_t> stored, data;
    for (int m = index.dirCount() + 1; m <= index.totalEntries(); ++m) {
        const FileEntry& e = index.entries[static_cast<size_t>(m - 1)];
        stored.resize(static_cast<size_t>(e.compSize) + 1);
        if (::pread(in, stored.data(), stored.size(), e.filePos + kDataBlockSize) != static_cast<ssize_t>(stored.size()))
            std::abort();
        data.resize(static_cast<size_t>(e.orgSize));
        if (libdeflate_zlib_decompress(decompressor, stored.data(), stored.size(), data.data(), data.size(), nullptr) !=
            LIBDEFLATE_SUCCESS)
            std::abort();
        std::string rel = e.dirName + "/" + e.name;
        std::replace(rel.begin(), rel.end(), '\\', '/');
        const int fd = ::open((out / rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) std::abort();
        ::close(fd);
    }
    libdeflate_free_decompressor(decompressor);
    ::close(in);
}


struct Timing {
    std::vector<double> wall, cpu;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

} // namespace

int main(int argc, char** argv) {
    fs::path folder = "/dev/shm";
    int rounds = 3, entries = 5000;
    int64_t mib = 200;
    fs::path kept;
    std::string variants = "bare,one,logged,two";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--folder") folder = argv[i + 1];
        else if (arg == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--entries") entries = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--mib") mib = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--archive") kept = argv[i + 1];
        else if (arg == "--variants") variants = argv[i + 1];
    }
    ScratchDir scratch(folder);
    const fs::path archive = kept.empty() ? scratch.path() / "bench.big" : kept;
    if (!fs::exists(archive)) {
        const std::vector<size_t> sizes = entrySizes(entries, mib << 20);
        auto start = Clock::now();
        writeBenchArchive(archive, makeLayout(50, entries, ".dat"), [&](size_t k) {
            return makeData(static_cast<DataKind>(k % 3), sizes[k], static_cast<uint32_t>(k));
        });
        std::printf("archive written in %.1f s\n", seconds(start));
    }

    const std::optional<OpenedArchive> opened = openBenchArchive(archive);
    if (!opened || !opened->index) return 1;
    const ArchiveIndex& index = *opened->index;
    const ArchiveModel& model = opened->model;
    NullLog none;
    ReportSink host;
    int64_t total = 0;
    for (int m = index.dirCount() + 1; m <= index.totalEntries(); ++m) total += index.entries[static_cast<size_t>(m - 1)].orgSize;
    std::printf("archive: %d entries, %.1f MiB inflated, %.1f MiB stored\n", index.totalEntries() - index.dirCount(),
                static_cast<double>(total) / (1 << 20), static_cast<double>(fs::file_size(archive)) / (1 << 20));
    Timing bare, one, oneLogged, two;
    const fs::path out = scratch.path() / "out";
    for (int r = 0; r < rounds; ++r) {
        auto timed = [&](Timing& t, auto&& body) {
            const char* name = &t == &bare ? "bare" : &t == &one ? "one" : &t == &oneLogged ? "logged" : "two";
            if (variants.find(name) == std::string::npos) {
                t.wall.push_back(1);
                t.cpu.push_back(1);
                return;
            }
            fs::remove_all(out);
            fs::create_directories(out);
            const auto t0 = Clock::now();
            const double c0 = cpuSeconds();
            body();
            t.cpu.push_back(cpuSeconds() - c0);
            t.wall.push_back(seconds(t0));
        };
        timed(bare, [&] { bareLoop(index, archive, out / "bench.big"); });
        timed(one, [&] { extractAll(ExtractContext{model, archive, out, none, host}, {.jobs = 1}); });
        ActivityLog log(scratch.path() / "sgaExtract.log");
        log.restart();
        timed(oneLogged, [&] { extractAll(ExtractContext{model, archive, out, log, host}, {.jobs = 1}); });
        timed(two, [&] { extractAll(ExtractContext{model, archive, out, none, host}, {.jobs = 2}); });
        std::printf("round %d wall (cpu) s: bare %.3f (%.3f), jobs 1 %.3f (%.3f), jobs 1 + activity log %.3f (%.3f), "
                    "jobs 2 %.3f (%.3f)\n",
                    r + 1, bare.wall.back(), bare.cpu.back(), one.wall.back(), one.cpu.back(), oneLogged.wall.back(),
                    oneLogged.cpu.back(), two.wall.back(), two.cpu.back());
    }
    const double mibTotal = static_cast<double>(total) / (1 << 20);
    auto rate = [&](double s) { return mibTotal / s; };
    const double b = median(bare.wall), o = median(one.wall), l = median(oneLogged.wall), t = median(two.wall);
    std::printf("median MiB/s: bare %.0f, extract all %.0f (%.0f with activity log), --jobs 2 %.0f\n", rate(b),
                rate(o), rate(l), rate(t));
    std::printf("throughput extract all / bare: %.2f (with activity log %.2f); jobs 2 vs jobs 1: %.2f times as fast\n",
                b / o, b / l, o / t);
    const double fb = fastest(bare.wall), fo = fastest(one.wall), fl = fastest(oneLogged.wall), ft = fastest(two.wall);
    std::printf("fastest rounds: extract all / bare %.2f (with activity log %.2f); jobs 2 vs jobs 1: %.2f times\n",
                fb / fo, fb / fl, fo / ft);
    std::printf("median CPU s: bare %.3f, jobs 1 %.3f, jobs 1 + activity log %.3f, jobs 2 %.3f\n",
                median(bare.cpu), median(one.cpu), median(oneLogged.cpu), median(two.cpu));
    return 0;
}
