// An archive of more than 5 GiB with bounded memory: stored entries of
// several GiB (left as holes of a sparse file, so they cost little disk),
// entries that lie beyond 4 GiB, and a zlib entry of several hundred MiB
// with per-block MD5 hashes. The layouts with 64-bit data offsets are the
// later ones; their model is built here as a reader of them describes it.
// Verify, extract all and a cat-like chunked read run in child processes,
// each reporting its time and peak resident memory.
//
//   bench_large [--folder /tmp] [--jobs N] [--packed-mib 400] [--only verify]
#include "core/ActivityLog.h"
#include "core/FileReader.h"
#include "core/ReportSink.h"
#include "extract/EntryData.h"
#include "extract/EntryReader.h"
#include "extract/Extract.h"
#include "extract/Verify.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <libdeflate.h>
#include <openssl/evp.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace {

using namespace sga;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int64_t kMiB = int64_t{1} << 20;
constexpr int64_t kGiB = int64_t{1} << 30;
constexpr uint32_t kHashBlock = 64 * 1024;

void writeAt(int fd, const void* data, size_t size, int64_t at) {
    if (::pwrite(fd, data, size, at) != static_cast<ssize_t>(size))
        throw std::runtime_error(std::string("cannot write the archive: ") + std::strerror(errno));
}

// CRC-32 of size zero bytes.
uint32_t crcOfZeros(int64_t size) {
    static const std::vector<uint8_t> zeros(static_cast<size_t>(4 * kMiB), 0);
    uint32_t crc = 0;
    for (int64_t left = size; left > 0; left -= static_cast<int64_t>(zeros.size()))
        crc = libdeflate_crc32(crc, zeros.data(), static_cast<size_t>(std::min<int64_t>(left, zeros.size())));
    return crc;
}

ArchiveFile storedEntry(const std::string& name, int64_t at, int64_t size) {
    ArchiveFile f;
    f.name = name;
    f.folder = "big";
    f.folderIndex = 0;
    f.dataPos = at;
    f.storedSize = size;
    f.size = size;
    f.storage = Storage::Stored;
    f.crcKind = CrcKind::OfBytes;
    f.crc = crcOfZeros(size);
    return f;
}

// Bytes from a small alphabet at random: zlib packs them to about half.
void fillPacked(std::vector<uint8_t>& chunk, int64_t offset) {
    uint64_t x = static_cast<uint64_t>(offset) * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < chunk.size(); i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        for (size_t j = 0; j < 8 && i + j < chunk.size(); ++j) chunk[i + j] = static_cast<uint8_t>('a' + ((x >> (j * 8)) & 15));
    }
}

// Writes a zlib stream of size bytes at `at`, then its MD5 table; fills f.
ArchiveFile packedEntry(int fd, const std::string& name, int64_t at, int64_t size) {
    ArchiveFile f;
    f.name = name;
    f.folder = "big\\packed";
    f.folderIndex = 1;
    f.dataPos = at;
    f.size = size;
    f.storage = Storage::ZlibStream;
    f.crcKind = CrcKind::OfBytes;
    f.blockHash = BlockHash::Md5;
    z_stream z{};
    deflateInit(&z, 1);
    std::vector<uint8_t> in(static_cast<size_t>(4 * kMiB)), out(static_cast<size_t>(4 * kMiB));
    std::vector<uint8_t> pending, hashes;
    int64_t written = 0, done = 0;
    uint32_t crc = 0;
    auto flushBlocks = [&](bool last) {
        size_t used = 0;
        while (pending.size() - used >= kHashBlock || (last && used < pending.size())) {
            const size_t n = std::min<size_t>(kHashBlock, pending.size() - used);
            uint8_t digest[EVP_MAX_MD_SIZE];
            unsigned length = 0;
            EVP_Digest(pending.data() + used, n, digest, &length, EVP_md5(), nullptr);
            hashes.insert(hashes.end(), digest, digest + length);
            writeAt(fd, pending.data() + used, n, at + written);
            written += static_cast<int64_t>(n);
            used += n;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(used));
    };
    int r = Z_OK;
    while (r != Z_STREAM_END) {
        const bool finish = done == size;
        if (!finish && z.avail_in == 0) {
            in.resize(static_cast<size_t>(std::min<int64_t>(4 * kMiB, size - done)));
            fillPacked(in, done);
            crc = libdeflate_crc32(crc, in.data(), in.size());
            done += static_cast<int64_t>(in.size());
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(in.size());
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        r = deflate(&z, done == size ? Z_FINISH : Z_NO_FLUSH);
        pending.insert(pending.end(), out.data(), out.data() + (out.size() - z.avail_out));
        flushBlocks(false);
    }
    deflateEnd(&z);
    flushBlocks(true);
    f.storedSize = written;
    f.crc = crc;
    f.hashPos = at + written;
    writeAt(fd, hashes.data(), hashes.size(), f.hashPos);
    return f;
}

struct Big {
    fs::path path;
    ArchiveModel model;
};

Big makeArchive(const fs::path& folder, int64_t packedMiB) {
    Big big;
    big.path = folder / "large.sga";
    const int fd = ::open(big.path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + big.path.string());
    big.model.layout = Layout::V10;
    big.model.major = 10;
    big.model.encoding = TextEncoding::Utf8;
    big.model.name = "large";
    big.model.hashBlockSize = kHashBlock;
    big.model.folders = {{.path = "big"}, {.path = "big\\packed", .parent = 0}};
    // The first bytes stand for the header and tables; the data follows.
    const std::string header = "large archive: header and tables";
    writeAt(fd, header.data(), header.size(), 0);
    int64_t at = 4096;
    big.model.files.push_back(storedEntry("first.bin", at, 3 * kGiB + kGiB / 2));   // a hole
    at += 3 * kGiB + kGiB / 2;
    big.model.files.push_back(storedEntry("second.bin", at, 2 * kGiB));  // begins and ends beyond 4 GiB
    at += 2 * kGiB;
    for (int i = 0; i < 8; ++i) {
        // Small packed entries beyond 4 GiB, held whole.
        ArchiveFile f = packedEntry(fd, "small" + std::to_string(i) + ".bin", at, (i + 1) * 100 * 1024);
        at = f.hashPos + 4096;
        big.model.files.push_back(f);
    }
    ArchiveFile packed = packedEntry(fd, "packed.bin", at, packedMiB * kMiB);
    at = packed.hashPos + ((packed.storedSize + kHashBlock - 1) / kHashBlock) * 16;
    big.model.files.push_back(packed);
    if (::ftruncate(fd, at) != 0) throw std::runtime_error("ftruncate failed");
    ::close(fd);
    big.model.fileSize = at;
    return big;
}

// Runs body in a child process; prints its time and peak resident memory.
std::string onlyStep;

void measured(const std::string& what, const std::function<int()>& body) {
    if (!onlyStep.empty() && what.rfind(onlyStep, 0) != 0) return;
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-34s %8.2f s, peak resident %5ld MiB, exit %d\n", what.c_str(), wall, usage.ru_maxrss / 1024,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    fs::path folder = "/tmp";
    int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    int64_t packedMiB = 400;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--folder") folder = argv[i + 1];
        else if (arg == "--jobs") jobs = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--packed-mib") packedMiB = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--only") only = argv[i + 1];
    }
    onlyStep = only;
    const fs::path work = folder / ("sga-bench-large-" + std::to_string(::getpid()));
    fs::create_directories(work);
    auto start = Clock::now();
    const Big big = makeArchive(work, packedMiB);
    struct stat st {};
    ::stat(big.path.c_str(), &st);
    std::printf("archive: %.2f GiB (%.0f MiB on disk) in %zu files, made in %.1f s\n",
                static_cast<double>(big.model.fileSize) / kGiB, static_cast<double>(st.st_blocks) * 512 / kMiB,
                big.model.files.size(), std::chrono::duration<double>(Clock::now() - start).count());
    std::fflush(stdout);

    measured("list", [&] {
        int64_t total = 0;
        for (const ArchiveFile& f : big.model.files) {
            std::printf("%s %lld\n", f.path().c_str(), static_cast<long long>(f.size));
            total += f.size;
        }
        return total > 5 * kGiB ? 0 : 1;
    });
    measured("verify, jobs " + std::to_string(jobs), [&] {
        NullLog log;
        const VerifyReport report = verifyArchive(big.model, big.path, log, {.jobs = jobs});
        for (const VerifyProblem& p : report.problems) std::printf("  %s: %s\n", p.path.c_str(), p.message.c_str());
        return report.ok() ? 0 : 1;
    });
    measured("cat packed.bin to /dev/null", [&] {
        FileReader archive;
        if (!archive.open(big.path)) return 1;
        NullLog log;
        const int out = ::open("/dev/null", O_WRONLY);
        EntryReader reader(archive, log);
        const Status read = reader.stream(big.model.files.back(), [&](const uint8_t* d, size_t n) {
            return ::write(out, d, n) == static_cast<ssize_t>(n);
        });
        return read ? 0 : 1;
    });
    measured("extract all, jobs " + std::to_string(jobs), [&] {
        NullLog log;
        ReportSink host;
        const ExtractReport report =
            extractAll(ExtractContext{big.model, big.path, work / "out", log, host}, {.jobs = jobs});
        int64_t written = 0;
        for (const ArchiveFile& f : big.model.files) {
            std::error_code ec;
            const fs::path p = work / "out" / "large.sga" / fs::path(f.folder == "big" ? "big" : "big/packed") / f.name;
            if (fs::file_size(p, ec) == static_cast<uintmax_t>(f.size)) ++written;
        }
        return report.failed == 0 && written == static_cast<int64_t>(big.model.files.size()) ? 0 : 1;
    });
    fs::remove_all(work);
    return 0;
}
