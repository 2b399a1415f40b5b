#include "bench/BenchArchive.h"

#include "core/ActivityLog.h"
#include "core/ReportSink.h"
#include "extract/Verify.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <fcntl.h>
#include <libdeflate.h>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace sga::bench {

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

std::optional<OpenedArchive> openBenchArchive(const std::filesystem::path& path) {
    OpenedArchive opened;
    NullLog none;
    ReportSink host;
    if (Status s = openAnyArchive(path, opened, none, host); !s) {
        std::fprintf(stderr, "%s\n", s.message().c_str());
        return std::nullopt;
    }
    return opened;
}

namespace {

constexpr size_t kHeaderSize = 180;       // version 2
constexpr size_t kTablesStart = kHeaderSize + 24 + 136;
constexpr size_t kBlockSize = 264;

void put16(std::vector<uint8_t>& b, int v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& b, int64_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putText(std::vector<uint8_t>& b, const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) b.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}

void writeAt(int fd, const std::vector<uint8_t>& bytes, int64_t offset) {
    if (::pwrite(fd, bytes.data(), bytes.size(), offset) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error(std::string("cannot write the bench archive: ") + std::strerror(errno));
}

struct Record {
    int64_t filePos = 0, stored = 0, original = 0;
    bool compressed = false;
};

// Header, data header, table of contents, directory table, file table and
// names, for the records given.
std::vector<uint8_t> tables(const BenchLayout& layout, const std::vector<Record>& records, size_t dataOffset) {
    std::vector<uint8_t> b;
    putText(b, "_ARCHIVE", 8);
    put32(b, 2);
    putText(b, "", 16);
    putText(b, "Data", 128);
    putText(b, "", 16);
    put32(b, static_cast<int64_t>(dataOffset - kHeaderSize));
    put32(b, static_cast<int64_t>(dataOffset));
    const int dirs = static_cast<int>(layout.directories.size()) + 1;
    const int names = static_cast<int>(layout.directories.size() + layout.files.size()) + 1;
    put32(b, 24); put16(b, 1);
    put32(b, 0); put16(b, dirs);
    put32(b, 0); put16(b, static_cast<int>(layout.files.size()));
    put32(b, 0); put16(b, names);
    putText(b, "data", 64);
    putText(b, "data", 64);
    put16(b, 0);
    put32(b, dirs);
    put16(b, static_cast<int>(layout.files.size()));
    std::vector<int> firstFile(layout.directories.size(), 0);
    for (size_t k = layout.files.size(); k-- > 0;) firstFile[static_cast<size_t>(layout.files[k].directory)] = static_cast<int>(k);
    for (int r = 0; r < dirs; ++r) {
        put16(b, r); put32(b, 0); put16(b, r); put16(b, r + 1);
        put16(b, r == 0 ? 0 : firstFile[static_cast<size_t>(r - 1)]);
    }
    put16(b, static_cast<int>(layout.files.size()));
    for (const Record& rec : records) {
        put32(b, 0);
        b.push_back(rec.compressed ? 1 : 0);
        put32(b, rec.filePos);
        put32(b, rec.stored);
        put32(b, rec.original);
    }
    b.push_back(0);
    for (const auto& d : layout.directories) { putText(b, d, d.size()); b.push_back(0); }
    for (const auto& f : layout.files) { putText(b, f.name, f.name.size()); b.push_back(0); }
    return b;
}

} // namespace

BenchLayout makeLayout(int directories, int files, const std::string& extension) {
    BenchLayout layout;
    const int top = std::max(1, directories / 20);
    const int perTop = directories / top - 1;
    char name[32];
    for (int t = 0; t < top; ++t) {
        std::snprintf(name, sizeof name, "d%03d", t);
        layout.directories.push_back(name);
        for (int s = 0; s < perTop; ++s) {
            std::snprintf(name, sizeof name, "d%03d\\s%02d", t, s);
            layout.directories.push_back(name);
        }
    }
    const int dirCount = static_cast<int>(layout.directories.size());
    for (int k = 0; k < files; ++k) {
        std::snprintf(name, sizeof name, "f%05d", k);
        layout.files.push_back({name + extension, static_cast<int>(int64_t{k} * dirCount / files)});
    }
    return layout;
}

int64_t writeBenchArchive(const std::filesystem::path& path, const BenchLayout& layout,
                          const std::function<std::vector<uint8_t>(size_t)>& bytesOf, bool compress) {
    std::vector<Record> records(layout.files.size());
    const size_t dataOffset = tables(layout, records, 0).size();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path.string());
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    int64_t at = static_cast<int64_t>(dataOffset), total = 0;
    std::vector<uint8_t> stored;
    for (size_t k = 0; k < layout.files.size(); ++k) {
        const std::vector<uint8_t> data = bytesOf(k);
        if (compress) {
            stored.resize(libdeflate_zlib_compress_bound(compressor, data.size()));
            stored.resize(libdeflate_zlib_compress(compressor, data.data(), data.size(), stored.data(), stored.size()));
        } else {
            stored = data;
        }
        std::vector<uint8_t> block;
        putText(block, layout.files[k].name, 256);
        put32(block, 0);   // modification time
        put32(block, libdeflate_crc32(0, data.data(), data.size()));
        writeAt(fd, block, at);
        writeAt(fd, stored, at + static_cast<int64_t>(kBlockSize));
        records[k] = {at + static_cast<int64_t>(kBlockSize) - static_cast<int64_t>(dataOffset),
                      static_cast<int64_t>(stored.size()), static_cast<int64_t>(data.size()), compress};
        at += static_cast<int64_t>(kBlockSize + stored.size());
        total += static_cast<int64_t>(data.size());
    }
    libdeflate_free_compressor(compressor);
    writeAt(fd, tables(layout, records, dataOffset), 0);
    ::close(fd);
    // Both header signatures, so that verify finds the archive sound.
    const auto signed_ = computeSignatures(path, static_cast<int32_t>(dataOffset - kHeaderSize));
    if (!signed_) throw std::runtime_error("cannot sign the bench archive: " + signed_.message());
    const ArchiveSignatures& signatures = *signed_;
    const int signFd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (signFd < 0) throw std::runtime_error("cannot reopen " + path.string());
    writeAt(signFd, std::vector<uint8_t>(signatures.headerBlock.begin(), signatures.headerBlock.end()), 12);
    writeAt(signFd, std::vector<uint8_t>(signatures.extraBlock.begin(), signatures.extraBlock.end()), 156);
    ::close(signFd);
    return total;
}

// Sizes from 1 KiB to 4 MiB, most of them small, adding up to about total.
std::vector<size_t> entrySizes(int count, int64_t total) {
    std::mt19937 gen(12345);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<double> sizes;
    for (int i = 0; i < count; ++i) {
        const bool large = i % 250 == 0;
        const double lo = large ? 1 << 20 : 1 << 10, hi = large ? 4 << 20 : 160 << 10;
        sizes.push_back(lo * std::pow(hi / lo, u(gen)));
    }
    double sum = 0;
    for (double s : sizes) sum += s;
    std::vector<size_t> out;
    for (double s : sizes)
        out.push_back(static_cast<size_t>(std::clamp(s * static_cast<double>(total) / sum, 1024.0, 4194304.0)));
    return out;
}

std::vector<uint8_t> makeData(DataKind kind, size_t size, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> out;
    out.reserve(size);
    switch (kind) {
    case DataKind::Text: {
        static const char* const kWords[] = {"local", "function", "end", "if", "then", "return", "nil",
                                             "self", "Ship", "Weapon", "speed", "=", "0.5", "(", ")",
                                             "\n", "\t", "for", "in", "pairs", "true", "false", "--"};
        while (out.size() < size) {
            const char* w = kWords[gen() % std::size(kWords)];
            out.insert(out.end(), w, w + std::strlen(w));
            out.push_back(' ');
        }
        break;
    }
    case DataKind::Picture: {
        const size_t width = 512;
        for (size_t i = 0; out.size() < size; ++i) {
            const size_t x = i % width, y = i / width;
            out.push_back(static_cast<uint8_t>((x / 3 + y) + (gen() & 7)));
        }
        break;
    }
    case DataKind::Random:
        while (out.size() < size) out.push_back(static_cast<uint8_t>(gen()));
        break;
    }
    out.resize(size);
    return out;
}

ScratchDir::ScratchDir(const std::filesystem::path& parent) {
    std::string pattern = (parent / "sga-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed in " + parent.string());
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace sga::bench
