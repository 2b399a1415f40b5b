// Find in the window's tree: one refilter per keystroke over a model of
// 32,767 entries (2,000 folders, 30,767 files), as TreeFilter::apply does it
// for the window. Typing a name letter by letter, wildcard patterns, and the
// worst case of a text every file matches.
#include "archive/ArchiveOpen.h"
#include "ui/TreeFilter.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace sga;

const char* const kRaces[] = {"hgn", "vgr", "kus", "tai", "kpr"};
const char* const kKinds[] = {"ship", "subsystem", "art", "scripts", "sound", "ui", "weapon", "data"};
const char* const kExtensions[] = {".lua", ".ship", ".tga", ".events", ".wav", ".dds", ".hod"};

// 8 top folders, 1,992 folders below them, files spread over all of them.
ArchiveModel makeModel() {
    ArchiveModel model;
    constexpr int kTop = 8, kFolders = 2000, kEntries = 32767;
    for (int t = 0; t < kTop; ++t) model.folders.push_back({.path = kKinds[t]});
    for (int i = kTop; i < kFolders; ++i) {
        const int top = i % kTop;
        model.folders.push_back({.path = std::string(kKinds[top]) + "\\" + kRaces[i % 5] + "_unit" +
                                         std::to_string(i),
                                 .parent = top});
    }
    const int files = kEntries - kFolders;
    for (int k = 0; k < files; ++k) {
        const int folder = k % kFolders;
        const std::string& folderPath = model.folders[static_cast<size_t>(folder)].path;
        model.files.push_back({.name = std::string(kRaces[k % 5]) + "_part" + std::to_string(k) + kExtensions[k % 7],
                               .folder = folderPath,
                               .folderIndex = folder});
    }
    return model;
}

struct Fixture {
    ArchiveModel model = makeModel();
    ArchiveTree tree = treeFromModel(model, "large.big");
    ui::TreeFilter filter{tree};
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// One keystroke: the whole refilter for the text typed so far.
void refilter(benchmark::State& state, const std::string& text) {
    const Fixture& f = fixture();
    int matches = 0;
    for (auto _ : state) {
        const ui::FilteredTree result = f.filter.apply(text);
        matches = result.matches;
        benchmark::DoNotOptimize(result.childList.data());
    }
    state.counters["entries"] = f.model.entryCount();
    state.counters["matches"] = matches;
}

// Typing "hgn_part12" letter by letter: every prefix is one keystroke.
void typing(benchmark::State& state) {
    const Fixture& f = fixture();
    const std::string word = "hgn_part12";
    for (auto _ : state) {
        for (size_t n = 1; n <= word.size(); ++n) {
            const ui::FilteredTree result = f.filter.apply(word.substr(0, n));
            benchmark::DoNotOptimize(result.childList.data());
        }
    }
    state.counters["per_keystroke_ms"] = benchmark::Counter(
        static_cast<double>(word.size()) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}

void building(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        ui::TreeFilter filter(f.tree);
        benchmark::DoNotOptimize(&filter);
    }
}

BENCHMARK_CAPTURE(refilter, substring_one_letter_e, std::string("e"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(refilter, substring_hgn_part12, std::string("hgn_part12"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(refilter, substring_no_match, std::string("zzzz"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(refilter, wildcard_star_lua, std::string("*.lua"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(refilter, wildcard_ship_hgn, std::string("ship\\hgn_*"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(refilter, wildcard_every_file, std::string("*"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(refilter, wildcard_worst_backtracking, std::string("*a*r*t*1*?.lua"))->Unit(benchmark::kMillisecond);
BENCHMARK(typing)->Unit(benchmark::kMillisecond);
BENCHMARK(building)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
