// Writes small valid inputs for every fuzz target into <folder>/<target>/:
// archives of both versions built in code (for the archive and entrydata
// targets both), archives of each later layout family (for its reader's
// target), pictures of each kind the readers accept, and names for
// the path check. The fuzzer mutates these; fuzz/corpus/ keeps a copy.
//
//   fuzz_seeds <folder>

#include "fuzz/FormatSeeds.h"
#include "fuzz/LayoutSeeds.h"
#include "fuzz/Seeds.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace sga::testing;
using namespace sga::fuzz;
namespace fs = std::filesystem;

void write(const fs::path& folder, const std::string& name, const Bytes& bytes) {
    fs::create_directories(folder);
    FILE* f = std::fopen((folder / name).c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::perror((folder / name).c_str());
        std::exit(1);
    }
    std::fclose(f);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    const fs::path out = argv[1];
    for (const auto& [name, plan] : seedArchives()) {
        const Bytes archive = buildArchive(plan);
        write(out / "archive", name + ".big", archive);
    }
    for (const auto& seed : seedLayouts()) write(out / seed.target, seed.name, buildLayout(seed.plan));
    write(out / "tga", "24bit-3x2.tga", seedTga(3, 2, 24, 0));
    write(out / "tga", "32bit-2x2.tga", seedTga(2, 2, 32, 0));
    write(out / "tga", "id-field.tga", seedTga(2, 1, 24, 5));
    write(out / "psd", "raw-3ch.psd", seedPsd(3, 2, 3, 0));
    write(out / "psd", "raw-4ch.psd", seedPsd(2, 2, 4, 0));
    write(out / "psd", "packbits-3ch.psd", seedPsd(5, 3, 3, 1));
    write(out / "psd", "packbits-1ch.psd", seedPsd(4, 2, 1, 1));
    write(out / "pcx", "8bit-5x3.pcx", seedPcx(5, 3, 1));
    write(out / "pcx", "24bit-4x2.pcx", seedPcx(4, 2, 3));
    for (const auto& [name, text] : seedPaths()) write(out / "safepath", name, textBytes(text));
    for (const auto& seed : formatSeeds()) write(out / seed.target, seed.name, seed.bytes);
    return 0;
}
