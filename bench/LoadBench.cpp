// Loading generated archives of 1,000 and 32,767 entries (about 2,000
// directories in the large one), logging to a real activity log file as the
// program does, and to nothing. Prints the two times and their ratio.
#include "archive/ArchiveTree.h"
#include "core/ReportSink.h"
#include "archive/modSGA.h"
#include "bench/BenchArchive.h"
#include "core/ActivityLog.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>

namespace {

using namespace sga;
using namespace sga::bench;

struct Fixture {
    std::unique_ptr<ScratchDir> dir;
    std::filesystem::path small, large;
};

Fixture& fixture() {
    static Fixture f = [] {
        Fixture x;
        x.dir = std::make_unique<ScratchDir>(std::filesystem::temp_directory_path());
        auto tiny = [](size_t k) { return makeData(DataKind::Text, 16 + k % 64, static_cast<uint32_t>(k)); };
        x.small = x.dir->path() / "small.big";
        x.large = x.dir->path() / "large.big";
        writeBenchArchive(x.small, makeLayout(60, 939, ".lua"), tiny);        // 999 names + record 0
        writeBenchArchive(x.large, makeLayout(2000, 30766, ".lua"), tiny);    // 32,766 names + record 0
        return x;
    }();
    return f;
}

void load(benchmark::State& state, bool large, bool realLog) {
    const auto& f = fixture();
    const auto& path = large ? f.large : f.small;
    ActivityLog file(f.dir->path() / "sgaExtract.log");
    NullLog none;
    LogSink& log = realLog ? static_cast<LogSink&>(file) : none;
    ReportSink host;
    for (auto _ : state) {
        state.PauseTiming();
        file.restart();
        ArchiveIndex index;
        ArchiveTree tree;
        state.ResumeTiming();
        const Status status = openArchive(path, index, tree, log, host);
        if (!status) state.SkipWithError(status.message().c_str());
        benchmark::DoNotOptimize(index.entries.data());
    }
}

BENCHMARK_CAPTURE(load, entries_1000_activity_log, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(load, entries_1000_null_log, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(load, entries_32767_activity_log, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(load, entries_32767_null_log, true, false)->Unit(benchmark::kMillisecond);

// Collects the mean real time of every run for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration) times[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    for (const char* size : {"1000", "32767"}) {
        const std::string withLog = std::string("load/entries_") + size + "_activity_log";
        const std::string without = std::string("load/entries_") + size + "_null_log";
        if (t.count(withLog) && t.count(without) && t[without] > 0)
            std::printf("%s entries: activity log %.1f ms, no log %.1f ms, ratio %.2f\n", size, t[withLog],
                        t[without], t[withLog] / t[without]);
    }
    if (t.count("load/entries_1000_null_log") && t.count("load/entries_32767_null_log"))
        std::printf("32767 vs 1000 entries (no log): %.1f times the time for %.1f times the entries\n",
                    t["load/entries_32767_null_log"] / t["load/entries_1000_null_log"], 32766.0 / 999.0);
    benchmark::Shutdown();
    return 0;
}
