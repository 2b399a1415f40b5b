#pragma once
// Writes large version 2 archives for the benchmarks straight to disk: the
// tables first (with placeholders), then every entry's block and stored
// bytes, then the real file table. Entries are zlib level 6 streams.

#include "archive/ArchiveOpen.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <functional>
#include <string>
#include <vector>

namespace sga::bench {

struct BenchFile {
    std::string name;
    int directory = 0;      // index into the directory list, files in directory order
};

struct BenchLayout {
    std::vector<std::string> directories;   // full paths with "\", parents first
    std::vector<BenchFile> files;           // grouped by directory, in directory order
};

// Two-level tree: top folders with subfolders, files spread evenly over all
// of them.
BenchLayout makeLayout(int directories, int files, const std::string& extension);

// bytesOf(k) gives file k's bytes. Returns the total of the original sizes.
int64_t writeBenchArchive(const std::filesystem::path& path, const BenchLayout& layout,
                          const std::function<std::vector<uint8_t>(size_t)>& bytesOf,
                          bool compress = true);

// Sizes from 1 KiB to 4 MiB, most of them small, adding up to about total.
std::vector<size_t> entrySizes(int count, int64_t total);

// Picture-like, text-like or random bytes of the given size.
enum class DataKind { Text, Picture, Random };
std::vector<uint8_t> makeData(DataKind kind, size_t size, uint32_t seed);

// A folder under parent, removed with the object.
class ScratchDir {
public:
    explicit ScratchDir(const std::filesystem::path& parent);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

using Clock = std::chrono::steady_clock;
// Wall seconds since start.
double seconds(Clock::time_point start);
// User plus system CPU seconds of the whole process, all threads.
double cpuSeconds();

// Opens a benchmark archive as the program does; on failure says why on
// stderr and returns nothing.
std::optional<OpenedArchive> openBenchArchive(const std::filesystem::path& path);

} // namespace sga::bench
