#include "fuzz/Seeds.h"

#include "tests/support/PictureWriter.h"

#include <algorithm>

namespace sga::fuzz {
namespace {

using namespace sga::testing;

Bytes pattern(size_t n, unsigned seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + seed * 13) ^ (i >> 3));
    return b;
}

} // namespace

std::vector<std::pair<std::string, ArchiveSpec>> seedArchives() {
    std::vector<std::pair<std::string, ArchiveSpec>> out;
    for (int32_t version : {1, 2}) {
        ArchiveSpec plan;
        plan.version = version;
        plan.dirs = {{"art", 0}, {"art\\fx", 1}, {"scripts", 3}};
        plan.files = {{.name = "a.lua", .data = textBytes("print('a')\n"), .compress = true},
                      {.name = "spark.tga", .data = pattern(60, 1)},
                      {.name = "big.txt", .data = Bytes(700, 'x'), .compress = true},
                      {.name = "run.lua", .data = textBytes("return 1\n"), .compress = true},
                      {.name = "empty.ini", .data = {}}};
        out.emplace_back("v" + std::to_string(version) + "-dirs", plan);
    }
    ArchiveSpec flat;
    flat.files = {{.name = "only.txt", .data = textBytes("hello"), .compress = true}};
    out.emplace_back("v2-flat", flat);

    ArchiveSpec locale;
    locale.archiveName = "HW2LocaleArchive";
    locale.wideName = true;
    locale.dirs = {{"locale", 0}};
    locale.files = {{.name = "en.dat", .data = pattern(90, 2), .compress = true},
                    {.name = "fr.dat", .data = pattern(40, 3)}};
    locale.countAfterDirs = 1;
    out.emplace_back("v2-locale", locale);

    ArchiveSpec odd;
    odd.version = 2;
    odd.dirs = {{"..\\up", 0}, {"c:\\abs", 1}};
    odd.files = {{.name = "..", .data = textBytes("dots")},
                 {.name = "a/b\\c.txt", .data = textBytes("slashes"), .compress = true, .flag = 16}};
    out.emplace_back("v2-odd-names", odd);
    return out;
}

// Uncompressed true-colour TGA, rows bottom-up.
Bytes seedTga(int width, int height, int depth, int idLength) {
    return buildTga({.width = static_cast<int16_t>(width),
                     .height = static_cast<int16_t>(height),
                     .pixelDepth = static_cast<uint8_t>(depth),
                     .descriptor = static_cast<uint8_t>(depth == 32 ? 8 : 0),
                     .id = Bytes(static_cast<size_t>(idLength), 'i'),
                     .pixels = pattern(static_cast<size_t>(width * height * depth / 8), 4)});
}

// PSD composite: 8-bit RGB, raw (0) or PackBits (1).
Bytes seedPsd(int width, int height, int channels, int compression) {
    PsdSpec plan{.channels = static_cast<uint16_t>(channels),
                 .height = height,
                 .width = width,
                 .imageResources = {0, 1, 2, 3, 4, 5},
                 .compression = static_cast<uint16_t>(compression)};
    const size_t plane = static_cast<size_t>(width * height);
    if (compression == 0) {
        for (int c = 0; c < channels; ++c) {
            const Bytes p = pattern(plane, static_cast<unsigned>(c));
            plan.imageData.insert(plan.imageData.end(), p.begin(), p.end());
        }
        return buildPsd(plan);
    }
    // Each row: one literal run of the first half, one repeat run of the rest.
    Bytes stream;
    for (int c = 0; c < channels; ++c) {
        for (int y = 0; y < height; ++y) {
            const int literal = std::max(1, width / 2);
            stream.push_back(static_cast<uint8_t>(literal - 1));
            for (int x = 0; x < literal; ++x) stream.push_back(static_cast<uint8_t>(x * 30 + c));
            const int repeat = width - literal;
            if (repeat > 0) {
                stream.push_back(static_cast<uint8_t>(257 - repeat));
                stream.push_back(static_cast<uint8_t>(200 + c));
            }
        }
    }
    plan.imageData = packBitsData(channels, height, stream);
    return buildPsd(plan);
}

// PCX, run-length encoded: 8-bit with a 256-colour palette at the end, or
// 24-bit as three planes per row.
Bytes seedPcx(int width, int height, int planes) {
    const int bytesPerLine = width + (width & 1);
    Bytes raw;
    for (int y = 0; y < height; ++y)
        for (int p = 0; p < planes; ++p)
            for (int x = 0; x < bytesPerLine; ++x)
                raw.push_back(static_cast<uint8_t>((y % 2 ? x / 3 * 48 : x * 16) + y + p * 50));
    PcxSpec plan{.planes = static_cast<uint8_t>(planes),
                 .xMax = static_cast<uint16_t>(width - 1),
                 .yMax = static_cast<uint16_t>(height - 1),
                 .bytesPerLine = static_cast<uint16_t>(bytesPerLine),
                 .data = pcxRle(raw)};
    if (planes == 1) {
        plan.palette = Bytes(768);
        for (int i = 0; i < 768; ++i) (*plan.palette)[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    }
    return buildPcx(plan);
}

// Path-check inputs: directory name, NUL, file name.
std::vector<std::pair<std::string, std::string>> seedPaths() {
    const std::string sep(1, '\0');
    return {{"plain", "art\\fx" + sep + "spark.tga"},
            {"top", sep + "a.lua"},
            {"dotdot", "..\\..\\etc" + sep + "passwd"},
            {"absolute", "\\abs" + sep + "c:\\windows\\x.dll"},
            {"slashes", "a/../../b" + sep + "../c"},
            {"dots", "." + sep + ".."},
            {"high", std::string("\xE9t\xE9\\\xFF", 5) + sep + "\x80\x9F.txt"}};
}

} // namespace sga::fuzz
