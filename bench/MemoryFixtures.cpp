// Writes the archives the peak-memory checks run on:
//   FOLDER/bomb.sga     version 10, one entry pic.tga whose 14-odd stored
//                       bytes are a Brotli stream while its record claims
//                       4 GiB - 1 bytes
//   FOLDER/brotli32.sga version 10, 32 Brotli entries of 63 MiB each (all
//                       reading the same stored bytes, so the file stays small)
// Measure with /usr/bin/time -v, for example
//   sga image FOLDER/bomb.sga pic.tga -o out.png
//   sga verify -j16 FOLDER/brotli32.sga
//
//   bench_memory_fixtures FOLDER
#include "tests/support/LayoutWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

using namespace sga::testing;
namespace fs = std::filesystem;

bool write(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    return static_cast<bool>(out);
}

LayoutPlan v10(std::vector<FilePlan> files) {
    LayoutPlan plan;
    plan.layout = sga::Layout::V10;
    plan.drives = {DrivePlan{}};
    plan.drives[0].root.files = std::move(files);
    return plan;
}

// Text-like bytes: words from a small vocabulary, so Brotli packs them a few times.
Bytes textLike(size_t size) {
    static const char* const kWords[] = {"texture ", "model ", "attrib ", "sound ", "lua ", "\r\n", "0.25 ", "true "};
    std::mt19937 gen(7);
    Bytes out;
    out.reserve(size);
    while (out.size() < size) {
        const std::string w = kWords[gen() % 8];
        out.insert(out.end(), w.begin(), w.end());
    }
    out.resize(size);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_memory_fixtures FOLDER\n");
        return 2;
    }
    const fs::path folder = argv[1];
    fs::create_directories(folder);

    FilePlan bomb{.name = "pic.tga", .data = Bytes(16, 'x'), .storeAs = StoreAs::BrotliStream};
    bomb.size = UINT32_MAX;
    if (!write(folder / "bomb.sga", buildLayout(v10({bomb})))) return 1;

    const Bytes data = textLike(size_t{63} << 20);
    const Bytes stored = brotliCompress(data);
    std::vector<FilePlan> files;
    for (int i = 0; i < 32; ++i) {
        FilePlan f{.name = "big" + std::to_string(i) + ".txt", .storeAs = StoreAs::BrotliStream};
        f.data = i == 0 ? data : Bytes{};
        f.dataOffset = 0;
        f.storedSize = static_cast<uint32_t>(stored.size());
        f.size = static_cast<uint32_t>(data.size());
        f.crc = crc32Of(stored);
        files.push_back(std::move(f));
    }
    return write(folder / "brotli32.sga", buildLayout(v10(std::move(files)))) ? 0 : 1;
}
