// The bare loops the whole program is measured against: the least work an
// extraction or a verification of the benchmark archive can do.
//
//   bench_bare extract ARCHIVE FOLDER   every entry inflated with libdeflate and
//                                       written with one write call under
//                                       FOLDER/<archive file name>/
//   bench_bare verify ARCHIVE           every entry inflated, its CRC-32 checked,
//                                       and both header signatures computed
//
// The archive is loaded by the program's own loader, so the comparison is of
// the loops alone.
#include "bench/BenchArchive.h"
#include "archive/ArchiveOpen.h"
#include "archive/ArchiveTree.h"
#include "archive/modSGA.h"
#include "core/ActivityLog.h"
#include "core/ReportSink.h"
#include "extract/Verify.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <libdeflate.h>
#include <string>
#include <unistd.h>

namespace {

using namespace sga;
namespace fs = std::filesystem;

std::string onDisk(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

int run(const std::string& mode, const fs::path& archive, const fs::path& folder) {
    const std::optional<OpenedArchive> opened = bench::openBenchArchive(archive);
    if (!opened) return 1;
    const ArchiveModel& model = opened->model;
    const fs::path base = folder / archive.filename();
    const bool extract = mode == "extract";
    if (extract)
        for (const ArchiveFolder& d : model.folders) fs::create_directories(base / onDisk(d.path));
    const int in = ::open(archive.c_str(), O_RDONLY);
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    std::vector<uint8_t> stored, data;
    int bad = 0;
    for (const ArchiveFile& f : model.files) {
        // Block and stored bytes in one read, as the program reads them.
        stored.resize(static_cast<size_t>(f.blockSize + f.storedSize));
        if (::pread(in, stored.data(), stored.size(), f.blockPos) != static_cast<ssize_t>(stored.size())) return 1;
        data.resize(static_cast<size_t>(f.size));
        if (libdeflate_zlib_decompress(decompressor, stored.data() + f.blockSize, static_cast<size_t>(f.storedSize),
                                       data.data(), data.size(), nullptr) != LIBDEFLATE_SUCCESS)
            return 1;
        if (extract) {
            const fs::path path = base / onDisk(f.path());
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) return 1;
            ::close(fd);
        } else {
            const uint8_t* pad = stored.data() + f.blockSize - 4;
            const uint32_t want = uint32_t{pad[0]} | uint32_t{pad[1]} << 8 | uint32_t{pad[2]} << 16 |
                                  uint32_t{pad[3]} << 24;
            if (libdeflate_crc32(0, data.data(), data.size()) != want) ++bad;
        }
    }
    libdeflate_free_decompressor(decompressor);
    ::close(in);
    if (!extract) {
        const auto signatures = computeSignatures(archive, static_cast<int32_t>(model.tocSize));
        if (!signatures) return 1;
        std::printf("%d entries, %d bad CRC-32, signature %02x%02x...\n", static_cast<int>(model.files.size()), bad,
                    signatures->headerBlock[0], signatures->headerBlock[1]);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (std::string(argv[1]) == "extract" && argc < 4)) {
        std::fprintf(stderr, "usage: bench_bare extract ARCHIVE FOLDER | verify ARCHIVE\n");
        return 2;
    }
    return run(argv[1], argv[2], argc > 3 ? argv[3] : "");
}
