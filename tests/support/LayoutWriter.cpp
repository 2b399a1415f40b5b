#include "tests/support/LayoutWriter.h"

#include <brotli/encode.h>
#include <openssl/evp.h>
#include <stdexcept>
#include <tuple>
#include <zlib.h>

namespace sga::testing {
namespace {

using sga::Layout;

void put16(Bytes& b, uint32_t v) {
    for (int i = 0; i < 2; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put64(Bytes& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putText(Bytes& b, const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) b.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}
void putWide(Bytes& b, const std::string& s, size_t width) {
    for (size_t i = 0; i < width / 2; ++i) put16(b, i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}

Bytes digest(const EVP_MD* md, const uint8_t* p, size_t n, const std::string& key = {}) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, key.data(), key.size());
    EVP_DigestUpdate(ctx, p, n);
    EVP_DigestFinal_ex(ctx, out, &length);
    EVP_MD_CTX_free(ctx);
    return Bytes(out, out + length);
}

int layoutMajor(Layout l) {
    switch (l) {
    case Layout::V4: return 4;
    case Layout::V5A:
    case Layout::V5B: return 5;
    case Layout::V6: return 6;
    case Layout::V7: return 7;
    case Layout::V8: return 8;
    case Layout::V9: return 9;
    case Layout::V10: return 10;
    default: return 2;
    }
}

bool wideTables(Layout l) { return l != Layout::V2Wide && l != Layout::V4 && l != Layout::V5A; }

// The flattened tables: every folder's children and files contiguous.
struct FlatFolder {
    std::string storedName;
    uint32_t firstSub = 0, lastSub = 0, firstFile = 0, lastFile = 0;
};
struct FlatFile {
    const FilePlan* plan;
    std::string path;
};
struct FlatDrive {
    const DrivePlan* plan;
    DriveRanges ranges;
    uint32_t root;
};

class Flattener {
public:
    std::vector<FlatFolder> folders;
    std::vector<FlatFile> files;
    std::vector<FlatDrive> drives;

    explicit Flattener(const LayoutPlan& plan) {
        const bool several = plan.drives.size() > 1;
        for (const DrivePlan& d : plan.drives) {
            const auto root = static_cast<uint32_t>(folders.size());
            const auto firstFile = static_cast<uint32_t>(files.size());
            folders.emplace_back();
            place(d.root, root, "", several ? d.alias : "");
            DriveRanges r{root, static_cast<uint32_t>(folders.size()), firstFile,
                          static_cast<uint32_t>(files.size())};
            drives.push_back({&d, d.ranges.value_or(r), root});
        }
    }

private:
    static std::string join(const std::string& a, const std::string& b) {
        return a.empty() ? b : b.empty() ? a : a + "\\" + b;
    }

    void place(const FolderPlan& f, uint32_t index, const std::string& path, const std::string& alias) {
        FlatFolder flat;
        flat.storedName = f.storedName.value_or(path);
        flat.firstSub = static_cast<uint32_t>(folders.size());
        folders.resize(folders.size() + f.folders.size());
        flat.lastSub = static_cast<uint32_t>(folders.size());
        flat.firstFile = static_cast<uint32_t>(files.size());
        for (const FilePlan& file : f.files) files.push_back({&file, join(join(alias, path), file.name)});
        flat.lastFile = static_cast<uint32_t>(files.size());
        folders[index] = flat;
        if (f.subfolders) std::tie(folders[index].firstSub, folders[index].lastSub) = *f.subfolders;
        if (f.fileRange) std::tie(folders[index].firstFile, folders[index].lastFile) = *f.fileRange;
        for (size_t i = 0; i < f.folders.size(); ++i)
            place(f.folders[i], flat.firstSub + static_cast<uint32_t>(i), join(path, f.folders[i].name), alias);
    }
};

Bytes storedBytesOf(const FilePlan& f) {
    switch (f.storeAs) {
    case StoreAs::Stored: return f.data;
    case StoreAs::ZlibStream:
    case StoreAs::ZlibBuffer: return zlibCompress(f.data, 9);
    case StoreAs::BrotliStream:
    case StoreAs::BrotliBuffer: return brotliCompress(f.data);
    }
    return f.data;
}

uint32_t storageValueOf(const FilePlan& f, Layout layout) {
    if (f.storageValue) return *f.storageValue;
    static constexpr uint32_t kFlags[] = {0x00, 0x10, 0x20, 0x30, 0x40};
    const auto kind = static_cast<size_t>(f.storeAs);
    return layout == Layout::V2Wide ? kFlags[kind] : static_cast<uint32_t>(kind);
}

// Per-block hashes of the stored bytes.
Bytes blockHashes(const Bytes& stored, uint8_t verification, uint32_t blockSize) {
    Bytes out;
    for (size_t at = 0; at < stored.size(); at += blockSize) {
        const size_t n = std::min<size_t>(blockSize, stored.size() - at);
        if (verification == 2) put32(out, static_cast<uint32_t>(crc32(0, stored.data() + at, static_cast<uInt>(n))));
        const EVP_MD* md = verification == 3 ? EVP_md5() : verification == 4 ? EVP_sha1() : nullptr;
        if (md) {
            const Bytes d = digest(md, stored.data() + at, n);
            out.insert(out.end(), d.begin(), d.end());
        }
    }
    return out;
}

struct Tables {
    Bytes drives, folders, files, names, hashes;
    uint32_t nameCount = 0;
};

void writeDrives(const Flattener& flat, Layout layout, Tables& t) {
    const bool wide = wideTables(layout);
    for (const FlatDrive& d : flat.drives) {
        putText(t.drives, d.plan->alias, 64);
        putText(t.drives, d.plan->name, 64);
        for (uint32_t v : {d.ranges.firstFolder, d.ranges.lastFolder, d.ranges.firstFile, d.ranges.lastFile, d.root})
            wide ? put32(t.drives, v) : put16(t.drives, v);
    }
}

uint32_t addName(Tables& t, const std::string& name) {
    const auto at = static_cast<uint32_t>(t.names.size());
    t.names.insert(t.names.end(), name.begin(), name.end());
    t.names.push_back(0);
    ++t.nameCount;
    return at;
}

void writeFolders(const Flattener& flat, Layout layout, Tables& t) {
    const bool wide = wideTables(layout);
    for (const FlatFolder& f : flat.folders) {
        put32(t.folders, addName(t, f.storedName));
        for (uint32_t v : {f.firstSub, f.lastSub, f.firstFile, f.lastFile}) wide ? put32(t.folders, v) : put16(t.folders, v);
    }
}

// The data area, each file's block and stored bytes, and its record.
void writeFiles(const Flattener& flat, const LayoutPlan& plan, int64_t dataOffset, Tables& t, LayoutBytes& out) {
    const Layout l = plan.layout;
    const uint32_t blockSize = plan.hashBlockSize ? plan.hashBlockSize : 32768;
    for (const FlatFile& ff : flat.files) {
        const FilePlan& f = *ff.plan;
        const Bytes stored = storedBytesOf(f);
        const uint32_t crcOfData = crc32Of(f.data);
        if (l == Layout::V2Wide && plan.v2Block != V2Block::None) {
            putText(out.data, f.name, plan.v2Block == V2Block::Name256 ? 256 : 260);
            put32(out.data, f.mtime);
            put32(out.data, f.crc.value_or(crcOfData));
        } else if (l == Layout::V4 || l == Layout::V5A || l == Layout::V5B) {
            putText(out.data, f.name, 256);
            put32(out.data, f.crc.value_or(crcOfData));
        }
        const uint64_t rel = f.dataOffset.value_or(out.data.size());
        out.paths.push_back(ff.path);
        out.dataPos.push_back(dataOffset + static_cast<int64_t>(rel));
        out.stored.push_back(stored);
        out.data.insert(out.data.end(), stored.begin(), stored.end());

        const uint32_t name = addName(t, f.name);
        const uint32_t storedSize = f.storedSize.value_or(static_cast<uint32_t>(stored.size()));
        const auto size = f.size.value_or(static_cast<uint32_t>(f.data.size()));
        const auto storage = storageValueOf(f, l);
        const uint32_t crc = f.crc.value_or(crc32Of(stored));
        const auto hashOffset = static_cast<uint32_t>(t.hashes.size());
        if (f.verification >= 2 && f.verification <= 4) {
            const Bytes h = blockHashes(stored, f.verification, blockSize);
            t.hashes.insert(t.hashes.end(), h.begin(), h.end());
        }
        Bytes& r = t.files;
        put32(r, name);
        if (l == Layout::V2Wide) {
            put32(r, storage), put32(r, static_cast<uint32_t>(rel)), put32(r, storedSize), put32(r, size);
        } else if (l <= Layout::V7) {
            put32(r, static_cast<uint32_t>(rel)), put32(r, storedSize), put32(r, size), put32(r, f.mtime);
            r.push_back(f.verification), r.push_back(static_cast<uint8_t>(storage));
            if (l >= Layout::V6) put32(r, crc);
            if (l == Layout::V7) put32(r, hashOffset);
        } else {
            put32(r, hashOffset);
            l == Layout::V8 ? put32(r, static_cast<uint32_t>(rel)) : put64(r, rel);
            put32(r, storedSize), put32(r, size);
            if (l != Layout::V10) put32(r, f.mtime);
            r.push_back(f.verification), r.push_back(static_cast<uint8_t>(storage)), put32(r, crc);
        }
    }
}

int tocHeaderSize(Layout l) {
    if (l == Layout::V2Wide || l == Layout::V4 || l == Layout::V5A) return 24;
    if (l == Layout::V5B || l == Layout::V6) return 32;
    return l == Layout::V7 ? 40 : 44;
}

int headerSize(Layout l) {
    switch (l) {
    case Layout::V2Wide: return 180;
    case Layout::V4:
    case Layout::V5B: return 184;
    case Layout::V5A: return 196;
    case Layout::V6:
    case Layout::V7: return 152;
    case Layout::V8: return 416;
    default: return 428;
    }
}

// The ToC: header, drives, folders, files, names, block hashes.
Bytes writeToc(const Tables& t, const LayoutPlan& plan, size_t driveCount, size_t folderCount, size_t fileCount) {
    const Layout l = plan.layout;
    const int head = tocHeaderSize(l);
    const bool wide = head >= 32;
    const uint32_t nameCount = l >= Layout::V9 ? static_cast<uint32_t>(t.names.size()) : t.nameCount;
    uint32_t at = static_cast<uint32_t>(head);
    Bytes toc;
    const std::initializer_list<std::pair<size_t, size_t>> tables{
        {t.drives.size(), driveCount}, {t.folders.size(), folderCount}, {t.files.size(), fileCount},
        {t.names.size(), size_t{nameCount}}};
    for (auto [bytes, count] : tables) {
        put32(toc, at);
        wide ? put32(toc, static_cast<uint32_t>(count)) : put16(toc, static_cast<uint32_t>(count));
        at += static_cast<uint32_t>(bytes);
    }
    if (l >= Layout::V7) {
        put32(toc, at);   // hash table right after the names
        if (l >= Layout::V8) put32(toc, static_cast<uint32_t>(t.hashes.size()));
        put32(toc, plan.hashBlockSize);
    }
    for (const Bytes* table : {&t.drives, &t.folders, &t.files, &t.names, &t.hashes})
        toc.insert(toc.end(), table->begin(), table->end());
    return toc;
}

Bytes writeHeader(const LayoutPlan& plan, uint64_t tocOffset, uint64_t tocSize, uint64_t dataOffset, uint64_t dataSize) {
    const Layout l = plan.layout;
    Bytes h;
    putText(h, "_ARCHIVE", 8);
    put16(h, plan.major.value_or(static_cast<uint16_t>(layoutMajor(l))));
    put16(h, plan.minor);
    if (l <= Layout::V5B) {
        putText(h, "", 16);   // data MD5, filled in later
        putWide(h, plan.archiveName, 128);
        putText(h, "", 16);   // ToC MD5
        put32(h, static_cast<uint32_t>(tocSize)), put32(h, static_cast<uint32_t>(dataOffset));
        if (l == Layout::V5A) {
            put32(h, static_cast<uint32_t>(tocOffset)), put32(h, 1), put32(h, 0), put32(h, 0);
        } else if (l != Layout::V2Wide) {
            put32(h, 1);   // platform
        }
        return h;
    }
    putWide(h, plan.archiveName, 128);
    if (l <= Layout::V7) {
        put32(h, static_cast<uint32_t>(tocSize)), put32(h, static_cast<uint32_t>(dataOffset)), put32(h, 1);
    } else if (l == Layout::V8) {
        put32(h, static_cast<uint32_t>(tocOffset)), put32(h, static_cast<uint32_t>(tocSize));
        put32(h, static_cast<uint32_t>(dataOffset)), put32(h, static_cast<uint32_t>(dataSize)), put32(h, 1);
    } else {
        put64(h, tocOffset), put32(h, static_cast<uint32_t>(tocSize)), put64(h, dataOffset), put64(h, dataSize);
        put32(h, 1);
    }
    if (l >= Layout::V8) h.insert(h.end(), 256, plan.signatureFill);
    return h;
}

// Version 2: the MD5 of a key and bytes 180 to the end (data), and of another
// key and the ToC.
void signVersion2(LayoutBytes& out, size_t tocEnd) {
    const Bytes all = out.joined();
    const Bytes d = digest(EVP_md5(), all.data() + 180, all.size() - 180, "E01519D6-2DB7-4640-AF54-0A23319C56C3");
    const Bytes t = digest(EVP_md5(), all.data() + 180, tocEnd - 180, "DFC9AF62-FC1B-4180-BC27-11CCE87D3EFF");
    std::copy(d.begin(), d.end(), out.head.begin() + 12);
    std::copy(t.begin(), t.end(), out.head.begin() + 156);
}

} // namespace

Bytes LayoutBytes::joined() const {
    Bytes all = head;
    all.insert(all.end(), data.begin(), data.end());
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
}

uint32_t crc32Of(const Bytes& data) {
    return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

Bytes brotliCompress(const Bytes& data) {
    size_t size = BrotliEncoderMaxCompressedSize(data.size());
    if (size == 0) size = 16;
    Bytes out(size);
    if (!BrotliEncoderCompress(5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, data.size(), data.data(), &size,
                               out.data()))
        throw std::runtime_error("brotli compression failed");
    out.resize(size);
    return out;
}

LayoutBytes buildLayoutParts(const LayoutPlan& plan) {
    const sga::Layout l = plan.layout;
    const Flattener flat(plan);
    Tables t;
    writeDrives(flat, l, t);
    writeFolders(flat, l, t);
    // The data offset depends on the ToC's size, which does not depend on
    // where the data lies: write the files once to learn it, then for real.
    const int64_t hs = headerSize(l);
    LayoutBytes out;
    Tables probe = t;
    writeFiles(flat, plan, 0, probe, out);
    const Bytes probeToc = writeToc(probe, plan, flat.drives.size(), flat.folders.size(), flat.files.size());
    out = LayoutBytes{};
    out.dataOffset = l == sga::Layout::V5A ? hs : hs + static_cast<int64_t>(probeToc.size());
    writeFiles(flat, plan, out.dataOffset, t, out);
    const Bytes toc = writeToc(t, plan, flat.drives.size(), flat.folders.size(), flat.files.size());

    const uint64_t tocOffset = l == sga::Layout::V5A ? static_cast<uint64_t>(hs) + out.data.size() : static_cast<uint64_t>(hs);
    out.head = writeHeader(plan, tocOffset, toc.size(), static_cast<uint64_t>(out.dataOffset), out.data.size());
    if (l == sga::Layout::V5A) {
        out.tail = toc;
    } else {
        out.head.insert(out.head.end(), toc.begin(), toc.end());
    }
    if (l == sga::Layout::V2Wide && plan.sign) signVersion2(out, out.head.size());
    return out;
}

Bytes buildLayout(const LayoutPlan& plan) { return buildLayoutParts(plan).joined(); }

} // namespace sga::testing
