#include "extract/PackFormat.h"

#include <array>
#include <cstring>

namespace sga {
namespace pack {
namespace {

constexpr uint64_t k16 = 0xFFFF;
constexpr uint64_t k32 = 0xFFFFFFFF;

// The version 2 readers count names in signed 16 bits.
constexpr uint64_t kV2Names = 32767;

// clang-format off
constexpr std::array<LayoutFacts, 7> kLayouts = {{
//   layout              word   major head  tocH wide  rec  block utf8   md5s   after  verif  off64  mtime  nbytes brotli several maxRec   maxNames
    {PackLayout::Narrow, "hw2",  2,   180,  24,  false, 17, 264,  false, true,  false, false, false, false, false, false, false,  kV2Names, kV2Names},
    {PackLayout::Wide,   "dow",  2,   180,  24,  false, 20, 264,  false, true,  false, false, false, false, false, false, true,   kV2Names, kV2Names},
    {PackLayout::V4,     "v4",   4,   184,  24,  false, 22, 260,  false, true,  false, false, false, true,  false, false, true,   k16,      k16},
    {PackLayout::V5,     "v5",   5,   196,  24,  false, 22, 260,  false, true,  true,  false, false, true,  false, false, true,   k16,      k16},
    {PackLayout::V7,     "v7",   7,   152,  40,  true,  30, 0,    true,  false, false, true,  false, true,  false, false, true,   k32,      k32},
    {PackLayout::V9,     "v9",   9,   428,  44,  true,  34, 0,    true,  false, true,  true,  true,  true,  true,  false, true,   k32,      k32},
    {PackLayout::V10,    "v10",  10,  428,  44,  true,  30, 0,    true,  false, true,  true,  true,  false, true,  true,  true,   k32,      k32},
}};
// clang-format on

void put16(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 2; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put32(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put64(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putCount(std::vector<uint8_t>& b, const LayoutFacts& l, uint64_t v) {
    if (l.wideCounts) put32(b, v);
    else put16(b, v);
}
void putField(std::vector<uint8_t>& b, std::string_view text, size_t width) {
    for (size_t i = 0; i < width; ++i) b.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : uint8_t{0});
}
void set32(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void set64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// The version 2 flag of a storage kind.
uint32_t flagOf(uint8_t storage) { return storage == 1 ? 0x10u : storage == 2 ? 0x20u : 0u; }

void putRecord(std::vector<uint8_t>& b, const LayoutFacts& l, uint32_t name, const StoredEntry& e,
               uint8_t verification) {
    switch (l.recordSize) {
    case 17:
    case 20:
        put32(b, name);
        if (l.recordSize == 17) b.push_back(static_cast<uint8_t>(flagOf(e.storage)));
        else put32(b, flagOf(e.storage));
        put32(b, e.dataOffset);
        put32(b, e.storedSize);
        put32(b, e.size);
        return;
    default: break;
    }
    if (!l.offsets64) {   // versions 4, 5 and 7
        put32(b, name);
        put32(b, e.dataOffset);
        put32(b, e.storedSize);
        put32(b, e.size);
        put32(b, e.mtime);
        b.push_back(l.verification ? verification : uint8_t{0});
        b.push_back(e.storage);
        if (l.verification) {
            put32(b, e.storedCrc);
            put32(b, e.hashOffset);
        }
        return;
    }
    put32(b, name);                  // versions 9 and 10
    put32(b, e.hashOffset);
    put64(b, e.dataOffset);
    put32(b, e.storedSize);
    put32(b, e.size);
    if (l.recordMtime) put32(b, e.mtime);
    b.push_back(verification);
    b.push_back(e.storage);
    put32(b, e.storedCrc);
}

} // namespace

const LayoutFacts& factsOf(PackLayout layout) {
    for (const LayoutFacts& f : kLayouts)
        if (f.layout == layout) return f;
    return kLayouts[0];
}

size_t hashBytes(PackVerification kind) {
    switch (kind) {
    case PackVerification::BlockCrc: return 4;
    case PackVerification::BlockMd5: return 16;
    case PackVerification::BlockSha1: return 20;
    default: return 0;
    }
}

uint8_t verificationByte(PackVerification kind) { return static_cast<uint8_t>(kind); }

std::vector<uint8_t> tocBytes(const LayoutFacts& l, const TocInput& in) {
    const auto& drives = *in.drives;
    const auto& folders = *in.folders;
    const auto& fileNames = *in.fileNames;
    const uint64_t driveSize = l.wideCounts ? 148 : 138;
    const uint64_t folderSize = l.wideCounts ? 20 : 12;

    std::vector<uint8_t> nameBytes;
    std::vector<uint32_t> folderName, fileName;
    for (const TocFolder& f : folders) {
        folderName.push_back(static_cast<uint32_t>(nameBytes.size()));
        nameBytes.insert(nameBytes.end(), f.path.begin(), f.path.end());
        nameBytes.push_back(0);
    }
    for (const std::string& name : fileNames) {
        fileName.push_back(static_cast<uint32_t>(nameBytes.size()));
        nameBytes.insert(nameBytes.end(), name.begin(), name.end());
        nameBytes.push_back(0);
    }
    const uint64_t drivesAt = l.tocHeaderSize;
    const uint64_t foldersAt = drivesAt + driveSize * drives.size();
    const uint64_t filesAt = foldersAt + folderSize * folders.size();
    const uint64_t namesAt = filesAt + uint64_t{l.recordSize} * fileNames.size();
    const uint64_t hashesAt = namesAt + nameBytes.size();
    const uint64_t hashLength = in.hashes ? in.hashes->size() : 0;

    std::vector<uint8_t> b;
    b.reserve(hashesAt + hashLength);
    const uint64_t nameCount = l.nameCountIsBytes ? nameBytes.size() : folders.size() + fileNames.size();
    for (auto [at, count] : {std::pair{drivesAt, uint64_t{drives.size()}}, std::pair{foldersAt, uint64_t{folders.size()}},
                             std::pair{filesAt, uint64_t{fileNames.size()}}, std::pair{namesAt, nameCount}}) {
        put32(b, at);
        putCount(b, l, count);
    }
    if (l.tocHeaderSize == 40) {
        put32(b, hashesAt);
        put32(b, in.hashBlockSize);
    } else if (l.tocHeaderSize == 44) {
        put32(b, hashesAt);
        put32(b, hashLength);
        put32(b, in.hashBlockSize);
    }
    for (const TocDrive& d : drives) {
        putField(b, d.alias, 64);
        putField(b, d.alias, 64);
        for (uint32_t v : {d.firstFolder, d.lastFolder, d.firstFile, d.lastFile, d.root}) putCount(b, l, v);
    }
    for (size_t i = 0; i < folders.size(); ++i) {
        const TocFolder& f = folders[i];
        put32(b, folderName[i]);
        for (uint32_t v : {f.firstFolder, f.lastFolder, f.firstFile, f.lastFile}) putCount(b, l, v);
    }
    const StoredEntry none;
    for (size_t i = 0; i < fileNames.size(); ++i) {
        const StoredEntry& e = in.entries && i < in.entries->size() ? (*in.entries)[i] : none;
        putRecord(b, l, fileName[i], e, in.verification);
    }
    b.insert(b.end(), nameBytes.begin(), nameBytes.end());
    if (in.hashes) b.insert(b.end(), in.hashes->begin(), in.hashes->end());
    return b;
}

std::vector<uint8_t> headerBytes(const LayoutFacts& l, const HeaderFields& h) {
    std::vector<uint8_t> b(l.headerSize, 0);
    std::memcpy(b.data(), "_ARCHIVE", 8);
    b[8] = static_cast<uint8_t>(l.major);
    const size_t nameAt = l.headerMd5s ? 28 : 12;
    for (size_t i = 0; i < h.name.size() && i < 64; ++i) {
        b[nameAt + 2 * i] = static_cast<uint8_t>(h.name[i]);
        b[nameAt + 2 * i + 1] = static_cast<uint8_t>(h.name[i] >> 8);
    }
    if (l.headerMd5s) {
        set32(b, 172, h.tocSize);
        set32(b, 176, h.dataOffset);
        if (l.layout == PackLayout::V4) set32(b, 180, 1);   // platform
        if (l.layout == PackLayout::V5) {
            set32(b, 180, h.tocOffset);
            set32(b, 184, 1);
        }
    } else if (!l.offsets64) {   // version 7
        set32(b, 140, h.tocSize);
        set32(b, 144, h.dataOffset);
        set32(b, 148, 1);
    } else {                     // versions 9 and 10; the signature stays zero
        set64(b, 140, h.tocOffset);
        set32(b, 148, h.tocSize);
        set64(b, 152, h.dataOffset);
        set64(b, 160, h.dataSize);
        set32(b, 168, 1);
    }
    return b;
}

std::vector<uint8_t> blockBytes(const LayoutFacts& l, std::string_view name, uint32_t mtime, uint32_t crcOfBytes) {
    std::vector<uint8_t> b;
    b.reserve(l.blockSize);
    putField(b, name, 256);
    if (l.blockSize == 264) put32(b, mtime);
    put32(b, crcOfBytes);
    return b;
}

} // namespace pack

std::optional<PackLayout> packLayoutNamed(std::string_view word) {
    if (word == "v2") return PackLayout::Narrow;
    if (word == "v2-wide") return PackLayout::Wide;
    for (const pack::LayoutFacts& f : pack::kLayouts)
        if (word == f.word) return f.layout;
    return std::nullopt;
}

std::optional<PackVerification> packVerificationNamed(std::string_view word) {
    static constexpr std::pair<std::string_view, PackVerification> kWords[] = {
        {"none", PackVerification::None},          {"crc", PackVerification::Crc},
        {"block-crc", PackVerification::BlockCrc}, {"block-md5", PackVerification::BlockMd5},
        {"block-sha1", PackVerification::BlockSha1}};
    for (const auto& [w, kind] : kWords)
        if (w == word) return kind;
    return std::nullopt;
}

} // namespace sga
