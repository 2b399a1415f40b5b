#pragma once
// Runs the sga binary as a child process under limits: a wall-clock timeout,
// a cap on its address space (under AddressSanitizer, which reserves a vast
// address space of its own, a cap on any single allocation instead), and no
// file larger than a cap. Reports how it ended.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sga::testing {

struct ChildLimits {
    std::chrono::milliseconds timeout{30000};
    uint64_t addressSpaceMb = 512;
    uint64_t allocationMb = 256;      // under AddressSanitizer
    uint64_t fileSizeMb = 64;
};

struct ChildResult {
    bool exited = false;        // ended by exit(), not by a signal
    int exitCode = -1;
    int signal = 0;
    bool timedOut = false;
    int64_t peakRssKb = 0;      // includes the test process's own pages copied at fork
    std::string out, err;

    // Ended on its own with 0, 1 or 2 and no sanitizer report.
    bool endedCleanly() const { return exited && !timedOut && exitCode >= 0 && exitCode <= 2; }
    std::string describe() const;
};

// Runs program with args in folder cwd.
ChildResult runChild(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const ChildLimits& limits = {});

// True when this build runs under AddressSanitizer (the child too).
bool underAddressSanitizer();

} // namespace sga::testing
