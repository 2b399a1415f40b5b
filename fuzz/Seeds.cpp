#include "fuzz/Seeds.h"

#include <algorithm>

namespace sga::fuzz {
namespace {

using namespace sga::testing;

void put16le(Bytes& b, int v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put16be(Bytes& b, int v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
void put32be(Bytes& b, uint32_t v) {
    put16be(b, static_cast<int>(v >> 16));
    put16be(b, static_cast<int>(v & 0xFFFF));
}

Bytes pattern(size_t n, unsigned seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + seed * 13) ^ (i >> 3));
    return b;
}

} // namespace

std::vector<std::pair<std::string, ArchiveSpec>> seedArchives() {
    std::vector<std::pair<std::string, ArchiveSpec>> out;
    for (int32_t version : {1, 2}) {
        ArchiveSpec spec;
        spec.version = version;
        spec.dirs = {{"art", 0}, {"art\\fx", 1}, {"scripts", 3}};
        spec.files = {{.name = "a.lua", .data = textBytes("print('a')\n"), .compress = true},
                      {.name = "spark.tga", .data = pattern(60, 1)},
                      {.name = "big.txt", .data = Bytes(700, 'x'), .compress = true},
                      {.name = "run.lua", .data = textBytes("return 1\n"), .compress = true},
                      {.name = "empty.ini", .data = {}}};
        out.emplace_back("v" + std::to_string(version) + "-dirs", spec);
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
    Bytes b;
    b.push_back(static_cast<uint8_t>(idLength));
    b.push_back(0);
    b.push_back(2);
    for (int i = 0; i < 5; ++i) b.push_back(0);
    put16le(b, 0);
    put16le(b, 0);
    put16le(b, width);
    put16le(b, height);
    b.push_back(static_cast<uint8_t>(depth));
    b.push_back(depth == 32 ? 8 : 0);
    for (int i = 0; i < idLength; ++i) b.push_back('i');
    const Bytes pixels = pattern(static_cast<size_t>(width * height * depth / 8), 4);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// PSD composite: 8-bit RGB, raw (0) or PackBits (1).
Bytes seedPsd(int width, int height, int channels, int compression) {
    Bytes b = textBytes("8BPS");
    put16be(b, 1);
    for (int i = 0; i < 6; ++i) b.push_back(0);
    put16be(b, channels);
    put32be(b, static_cast<uint32_t>(height));
    put32be(b, static_cast<uint32_t>(width));
    put16be(b, 8);
    put16be(b, 3);
    put32be(b, 0);                 // colour mode data
    put32be(b, 6);                 // image resources
    for (int i = 0; i < 6; ++i) b.push_back(static_cast<uint8_t>(i));
    put32be(b, 0);                 // layers and masks
    put16be(b, compression);
    const size_t plane = static_cast<size_t>(width * height);
    if (compression == 0) {
        for (int c = 0; c < channels; ++c) {
            const Bytes p = pattern(plane, static_cast<unsigned>(c));
            b.insert(b.end(), p.begin(), p.end());
        }
        return b;
    }
    // Each row: one literal run of the first half, one repeat run of the rest.
    for (int i = 0; i < channels * height; ++i) put16be(b, width >= 2 ? 4 + width / 2 : 2);
    for (int c = 0; c < channels; ++c) {
        for (int y = 0; y < height; ++y) {
            const int literal = std::max(1, width / 2);
            b.push_back(static_cast<uint8_t>(literal - 1));
            for (int x = 0; x < literal; ++x) b.push_back(static_cast<uint8_t>(x * 30 + c));
            const int repeat = width - literal;
            if (repeat > 0) {
                b.push_back(static_cast<uint8_t>(257 - repeat));
                b.push_back(static_cast<uint8_t>(200 + c));
            }
        }
    }
    return b;
}

// PCX, run-length encoded: 8-bit with a 256-colour palette at the end, or
// 24-bit as three planes per row.
Bytes seedPcx(int width, int height, int planes) {
    const int bytesPerLine = width + (width & 1);
    Bytes b = {0x0A, 5, 1, 8};
    put16le(b, 0);
    put16le(b, 0);
    put16le(b, width - 1);
    put16le(b, height - 1);
    put16le(b, 72);
    put16le(b, 72);
    for (int i = 0; i < 48; ++i) b.push_back(static_cast<uint8_t>(i));
    b.push_back(0);
    b.push_back(static_cast<uint8_t>(planes));
    put16le(b, bytesPerLine);
    put16le(b, 1);
    put16le(b, 0);
    put16le(b, 0);
    for (int i = 0; i < 54; ++i) b.push_back(0);
    for (int y = 0; y < height; ++y) {
        for (int p = 0; p < planes; ++p) {
            for (int x = 0; x < bytesPerLine;) {
                const int run = std::min(bytesPerLine - x, y % 2 ? 3 : 1);
                const auto value = static_cast<uint8_t>(x * 16 + y + p * 50);
                if (run > 1 || value >= 0xC0) {
                    b.push_back(static_cast<uint8_t>(0xC0 | run));
                }
                b.push_back(value);
                x += run;
            }
        }
    }
    if (planes == 1) {
        b.push_back(0x0C);
        for (int i = 0; i < 768; ++i) b.push_back(static_cast<uint8_t>(i));
    }
    return b;
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
