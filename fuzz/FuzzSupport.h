#pragma once
// Shared pieces of the fuzz targets: the input as a file on disk (the
// parsers read paths, not memory) and a check that stops the run loudly.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace sga::fuzz {

// An anonymous in-memory file that each input is written to in turn. Its
// path (/proc/self/fd/N) can be opened like any regular file.
class InputFile {
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Replaces the file's contents with data and returns its path.
    const std::filesystem::path& write(const uint8_t* data, size_t size);
    const std::filesystem::path& path() const { return path_; }

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

// The one input file of this process.
InputFile& inputFile();

// Prints what failed and aborts, so that libFuzzer and the replay test both
// report the input.
[[noreturn]] void checkFailed(const char* condition, const char* file, int line);

} // namespace sga::fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::sga::fuzz::checkFailed(#condition, __FILE__, __LINE__))
