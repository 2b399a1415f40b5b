#include "tests/support/ArchiveWriter.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <openssl/evp.h>
#include <stdexcept>
#include <zlib.h>

namespace sga::testing {
namespace {

void put8(Bytes& b, uint8_t v) { b.push_back(v); }
void put16(Bytes& b, int16_t v) {
    auto u = static_cast<uint16_t>(v);
    b.push_back(static_cast<uint8_t>(u));
    b.push_back(static_cast<uint8_t>(u >> 8));
}
void put32(Bytes& b, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(u >> (8 * i)));
}
void putText(Bytes& b, const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) b.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}

Bytes storedBytes(const EntryPlan& f) {
    if (f.stored) return *f.stored;
    return f.compress ? zlibCompress(f.data) : f.data;
}

// MD5 of key followed by bytes [from, to) of b, stored at offset at.
void putSignature(Bytes& b, size_t at, const std::string& key, size_t from, size_t to) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
    EVP_DigestUpdate(ctx, key.data(), key.size());
    EVP_DigestUpdate(ctx, b.data() + from, to - from);
    EVP_DigestFinal_ex(ctx, digest, &length);
    EVP_MD_CTX_free(ctx);
    if (length != 16) throw std::runtime_error("MD5 failed");
    std::copy(digest, digest + 16, b.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace

size_t writtenRecords(const ArchivePlan& plan) {
    const size_t all = plan.dirs.size() + 1;
    if (!plan.numOfRecords) return all;
    return static_cast<size_t>(std::clamp<int64_t>(*plan.numOfRecords, 0, static_cast<int64_t>(all)));
}

Bytes textBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes zlibCompress(const Bytes& data, int level) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

PlanOffsets offsetsOf(const ArchivePlan& plan) {
    PlanOffsets l{};
    l.headerSize = plan.version == 2 ? 180 : 164;
    l.dirTable = l.headerSize + 24 + 136;
    const size_t records = writtenRecords(plan);
    l.fileCount = l.dirTable + 12 * records;
    l.fileTable = l.fileCount + 2;
    l.nameTable = l.fileTable + 17 * plan.files.size() + 1;
    size_t names = 0;
    for (const auto& d : plan.dirs) names += d.name.size() + 1;
    for (const auto& f : plan.files) names += f.name.size() + 1;
    if (!plan.finalNul) --names;
    l.dataArea = l.nameTable + names;
    return l;
}

Bytes buildArchive(const ArchivePlan& plan) {
    const PlanOffsets layout = offsetsOf(plan);
    const int32_t dataOffset =
        plan.dataOffset ? *plan.dataOffset : static_cast<int32_t>(layout.dataArea);

    // The data area: for every file its block and stored bytes.
    Bytes data;
    std::vector<int32_t> positions;
    std::vector<Bytes> stored;
    for (const auto& f : plan.files) {
        Bytes block;
        putText(block, f.blockName.empty() ? f.name : f.blockName, 256);
        if (f.pad) {
            Bytes p = *f.pad;
            p.resize(8, 0);
            block.insert(block.end(), p.begin(), p.end());
        } else {
            put32(block, 0);
            put32(block, static_cast<int32_t>(crc32(0, f.data.data(), static_cast<uInt>(f.data.size()))));
        }
        data.insert(data.end(), block.begin(), block.end());
        positions.push_back(static_cast<int32_t>(data.size()));
        stored.push_back(storedBytes(f));
        data.insert(data.end(), stored.back().begin(), stored.back().end());
    }

    Bytes b;
    putText(b, plan.magic, 8);
    put32(b, plan.version);
    for (int i = 0; i < 4; ++i) put32(b, 0);
    if (plan.wideName) {
        std::string wide;
        for (char c : plan.archiveName) {
            wide.push_back(c);
            wide.push_back('\0');
        }
        putText(b, wide, 128);
    } else {
        putText(b, plan.archiveName, 128);
    }
    if (plan.version == 2)
        for (int i = 0; i < 4; ++i) put32(b, 0);
    put32(b, static_cast<int32_t>(layout.dataArea - layout.headerSize));   // headerValue
    put32(b, dataOffset);

    const auto dirs = static_cast<int16_t>(plan.dirs.size() + 1);
    const auto names = static_cast<int16_t>(plan.dirs.size() + plan.files.size() + 1);
    put32(b, 24);
    put16(b, 1);
    put32(b, static_cast<int32_t>(layout.dirTable - layout.headerSize));
    put16(b, plan.dirCount.value_or(dirs));
    put32(b, static_cast<int32_t>(layout.fileCount - layout.headerSize));
    put16(b, plan.fileCount.value_or(static_cast<int16_t>(plan.files.size())));
    put32(b, static_cast<int32_t>(layout.nameTable - layout.headerSize));
    put16(b, plan.totalEntries.value_or(names));

    putText(b, "data", 64);
    putText(b, "data", 64);
    put16(b, 0);
    const int32_t records = plan.numOfRecords.value_or(dirs);
    put32(b, records);
    put16(b, plan.tocChunks.value_or(static_cast<int16_t>(plan.files.size())));

    for (int32_t r = 0; r < static_cast<int32_t>(writtenRecords(plan)); ++r) {
        const int16_t start = r == 0 ? plan.record0Start
                              : static_cast<size_t>(r) <= plan.dirs.size()
                                  ? plan.dirs[static_cast<size_t>(r - 1)].start
                                  : int16_t{0};
        put16(b, static_cast<int16_t>(r));       // int4
        put32(b, 0);                             // toc
        put16(b, static_cast<int16_t>(r));       // int2
        put16(b, static_cast<int16_t>(r + 1));   // int3
        put16(b, start);
    }
    put16(b, plan.countAfterDirs.value_or(static_cast<int16_t>(plan.files.size())));
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const auto& f = plan.files[i];
        put32(b, 0);
        put8(b, f.flag ? f.flag : (f.compress ? 1 : 0));
        put32(b, positions[i]);
        put32(b, static_cast<int32_t>(stored[i].size()));
        put32(b, f.orgSize.value_or(static_cast<int32_t>(f.data.size())));
    }
    put8(b, 0);
    std::vector<std::string> all;
    for (const auto& d : plan.dirs) all.push_back(d.name);
    for (const auto& f : plan.files) all.push_back(f.name);
    for (size_t i = 0; i < all.size(); ++i) {
        b.insert(b.end(), all[i].begin(), all[i].end());
        if (plan.finalNul || i + 1 < all.size()) b.push_back(0);
    }
    b.insert(b.end(), data.begin(), data.end());
    if (plan.sign && plan.version == 2) {
        putSignature(b, 12, "E01519D6-2DB7-4640-AF54-0A23319C56C3", 180, b.size());
        putSignature(b, 156, "DFC9AF62-FC1B-4180-BC27-11CCE87D3EFF", 180, layout.dataArea);
    }
    return b;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sgatest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::write(const std::string& name, const Bytes& bytes) const {
    auto p = path_ / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return p;
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> readLines(const std::filesystem::path& path) {
    Bytes all = readFile(path);
    std::string text(all.begin(), all.end());
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::filesystem::path realArchivesDir() {
    for (auto dir = std::filesystem::path(SGA_SOURCE_DIR); !dir.empty(); dir = dir.parent_path()) {
        auto candidate = dir.parent_path() / "shared" / "real-archives";
        if (std::filesystem::is_directory(candidate)) return candidate;
        if (dir == dir.parent_path()) break;
    }
    return {};
}

} // namespace sga::testing
