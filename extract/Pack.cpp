// Packing, the run: checks the options and the target, lays the folders out,
// then reads and compresses the files (small ones in parallel when asked,
// large ones streamed by the writer, all written in table order), and finally
// writes the table of contents, the header and its MD5s.
#include "extract/Pack.h"

#include "core/ActivityLog.h"
#include "core/Cp1252.h"
#include "core/ReportSink.h"
#include "extract/OrderedPipeline.h"
#include "extract/PackCompress.h"
#include "extract/PackTarget.h"
#include "extract/PackTree.h"
#include "extract/Verify.h"

#include <algorithm>
#include <charconv>
#include <malloc.h>
#include <cstring>
#include <memory>
#include <new>

namespace sga {
namespace {

namespace fs = std::filesystem;
using namespace sga::pack;

constexpr uint64_t kMax32 = 0xFFFFFFFFull;
constexpr size_t kArchiveNameUnits = 63;     // 128 bytes of UTF-16 with room for a zero
constexpr size_t kAliasBytes = 63;           // 64-byte fields with room for a zero
constexpr uint32_t kLeastBlock = 4096;       // of the per-block hashes
// Bytes of whole files read and compressed but not yet written, beyond the
// one being waited for.
constexpr uint64_t kPendingBudget = 96ull << 20;

// A failure of the run: one line of UTF-8.
struct RunFailure {
    std::string message;
};
[[noreturn]] void fail(std::string message) { throw RunFailure{std::move(message)}; }
void check(const Status& s) {
    if (!s.ok()) fail(s.message());
}
template <class T>
T take(Expected<T> e) {
    if (!e) fail(e.message());
    return std::move(e.value());
}

// UTF-8 to UTF-16 code units; false for text that is not UTF-8.
bool utf16Of(std::string_view text, std::u16string& out) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t cp = c;
        if (c >= 0x80) {
            if ((c & 0xE0) == 0xC0) extra = 1, cp = c & 0x1F;
            else if ((c & 0xF0) == 0xE0) extra = 2, cp = c & 0x0F;
            else if ((c & 0xF8) == 0xF0) extra = 3, cp = c & 0x07;
            else return false;
        }
        if (i + static_cast<size_t>(extra) >= text.size() && extra > 0) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

std::string extensionOf(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : lowerCp1252(std::string(name.substr(dot + 1)));
}

uint64_t blocksOf(uint64_t bytes, uint32_t blockSize) { return (bytes + blockSize - 1) / blockSize; }

class PackRun {
public:
    PackRun(const PackOptions& options, LogSink& log, ReportSink& host)
        : o_(options), l_(factsOf(options.layout)), log_(log), host_(host) {}

    PackReport run();

private:
    void checkOptions();
    void planTables();
    void dataPass(TemporaryArchive& out);
    void place(size_t k, uint64_t storedSize);
    void writeWhole(TemporaryArchive& out, size_t k, PackedFile& p);
    void writeStreamed(TemporaryArchive& out, size_t k);
    void finishFile(size_t k, const PackedFile& p);
    std::vector<uint8_t> toc() const;
    std::string utf8(const std::string& text) const { return l_.utf8 ? text : cp1252ToUtf8(text); }
    std::string shown(size_t k) const { return utf8(plan_.files[k].shown); }

    const PackOptions& o_;
    const LayoutFacts& l_;
    LogSink& log_;
    ReportSink& host_;
    PackReport report_;
    CompressSettings settings_;
    TargetState target_;
    std::vector<SourceFolder> roots_;
    std::vector<std::string> aliases_;     // in the layout's encoding
    std::u16string name_;
    TocPlan plan_;
    std::vector<std::string> fileNames_;
    std::vector<StoredEntry> entries_;
    std::vector<uint8_t> hashes_;          // the hash table
    std::vector<uint64_t> reservedHash_;   // ToC before the data: each file's room in the table
    uint64_t tocSize_ = 0;                 // ToC before the data: known ahead
    uint64_t dataOffset_ = 0;
    uint64_t at_ = 0;                      // where the next block or data goes
};

void PackRun::checkOptions() {
    if (o_.drives.empty()) fail("nothing to pack: no folder given");
    if (!l_.severalDrives && o_.drives.size() > 1)
        fail("\"" + o_.drives[1].alias + "\": the hw2 layout holds one drive; use --layout dow or a later one for " +
             std::to_string(o_.drives.size()));
    if (o_.level < 1 || o_.level > 12) fail("level " + std::to_string(o_.level) + " is outside 1 to 12");
    if (o_.storage == PackStorage::Brotli && !l_.brotli)
        fail(std::string("Brotli storage needs --layout v10, not ") + l_.word);
    if (l_.verification && (o_.blockSize < kLeastBlock || o_.blockSize > (1u << 30)))
        fail("block size " + std::to_string(o_.blockSize) + " is outside " + std::to_string(kLeastBlock) + " to " +
             std::to_string(1u << 30));
    ScanOptions names;
    names.keepCase = true;
    names.utf8 = l_.utf8;
    for (const PackDrive& d : o_.drives) {
        if (d.alias.empty()) fail("a drive alias is empty");
        const std::string alias = take(storedName(d.alias, names, "alias " + d.alias));
        if (alias.size() > kAliasBytes)
            fail("\"alias " + d.alias + "\": longer than " + std::to_string(kAliasBytes) + " bytes");
        for (const std::string& other : aliases_)
            if ((l_.utf8 ? lowerUtf8(other) : lowerCp1252(other)) == (l_.utf8 ? lowerUtf8(alias) : lowerCp1252(alias)))
                fail("\"alias " + d.alias + "\": two drives have that alias");
        aliases_.push_back(alias);
    }
    std::string name = o_.archiveName;
    if (name.empty()) name = o_.target.stem().string();
    if (!utf16Of(name, name_)) fail("\"" + name + "\": the archive name is not UTF-8");
    // The readers of 17-byte archives take one file record more than the count
    // for this name, so such an archive would not open.
    if (o_.layout == PackLayout::Narrow && name_ == u"HW2LocaleArchive")
        fail("\"" + name + "\": an hw2 archive of that name is read with one file more than it holds; "
             "choose another name or --layout dow");
    if (name_.size() > kArchiveNameUnits)
        fail("\"" + name + "\": the archive name is longer than " + std::to_string(kArchiveNameUnits) + " characters");
    target_ = take(checkTarget(o_.target, o_.force));

    settings_.codec = o_.storage;
    settings_.level = o_.level;
    settings_.verification = l_.verification ? o_.verification : PackVerification::None;
    settings_.hashBlockSize = o_.blockSize;
}

void PackRun::planTables() {
    ScanOptions scan;
    scan.keepCase = o_.keepCase;
    scan.utf8 = l_.utf8;
    // The block's name field from version 2 to 5; a folder entry's name beyond.
    scan.maxNameBytes = l_.blockSize != 0 ? 255 : 4095;
    std::error_code ec;
    scan.exclude = fs::weakly_canonical(fs::absolute(o_.target, ec), ec);
    roots_.reserve(o_.drives.size());
    for (const PackDrive& d : o_.drives) roots_.push_back(take(scanFolder(d.folder, scan, report_.warnings)));
    std::vector<PlanDrive> drives;
    for (size_t i = 0; i < roots_.size(); ++i) drives.push_back({aliases_[i], &roots_[i]});
    plan_ = take(layOut(drives, l_));
    roots_.clear();   // the plan holds what the run needs
    for (size_t k = 0; k < plan_.files.size(); ++k) {
        TocFile& f = plan_.files[k];
        if (f.size > kMax32)
            fail("\"" + shown(k) + "\": " + std::to_string(f.size) + " bytes, beyond the archive's 32-bit sizes");
        if (o_.mtime) f.mtime = *o_.mtime;
        fileNames_.push_back(f.name);
    }
    entries_.assign(plan_.files.size(), StoredEntry{});

    if (l_.tocAfterData) {
        dataOffset_ = l_.headerSize;
        return;
    }
    // The ToC comes first: its size must be known before the data. Each file
    // gets room in the hash table for the blocks of its bytes, which its
    // stored bytes never exceed.
    const size_t hashLength = hashBytes(settings_.verification);
    uint64_t room = 0;
    for (const TocFile& f : plan_.files) {
        reservedHash_.push_back(room);
        room += blocksOf(f.size, o_.blockSize) * hashLength;
    }
    if (room > kMax32) fail("the table of block hashes would pass 4 GiB; use a larger --block-size");
    hashes_.assign(static_cast<size_t>(room), 0);
    tocSize_ = toc().size();
    dataOffset_ = l_.headerSize + tocSize_;
    if (dataOffset_ > kMax32) fail("the table of contents would pass 4 GiB");
}

std::vector<uint8_t> PackRun::toc() const {
    TocInput in;
    in.drives = &plan_.drives;
    in.folders = &plan_.folders;
    in.fileNames = &fileNames_;
    in.entries = &entries_;
    in.verification = verificationByte(settings_.verification);
    in.hashBlockSize = l_.verification ? o_.blockSize : 0;
    in.hashes = &hashes_;
    return tocBytes(l_, in);
}

// Checks that the file's block and stored bytes from at_ stay within the
// layout's offsets and records where they go.
void PackRun::place(size_t k, uint64_t storedSize) {
    const uint64_t end = at_ + l_.blockSize + storedSize;
    if (l_.offsets32() && end > kMax32)
        fail("\"" + shown(k) + "\": the archive would pass 4 GiB (" + std::to_string(end) + " bytes with file " +
             std::to_string(k + 1) + " of " + std::to_string(plan_.files.size()) + "), beyond the 32-bit offsets of a " +
             l_.word + " archive; use --layout v9 or v10");
    entries_[k].dataOffset = at_ + l_.blockSize - dataOffset_;
}

void PackRun::finishFile(size_t k, const PackedFile& p) {
    StoredEntry& e = entries_[k];
    e.storage = p.storage;
    e.storedSize = static_cast<uint32_t>(p.storedSize);
    e.size = static_cast<uint32_t>(p.size);
    e.mtime = plan_.files[k].mtime;
    e.storedCrc = p.storedCrc;
    if (!p.hashes.empty()) {
        if (reservedHash_.empty()) {
            e.hashOffset = static_cast<uint32_t>(hashes_.size());
            if (hashes_.size() + p.hashes.size() > kMax32) fail("the table of block hashes would pass 4 GiB");
            hashes_.insert(hashes_.end(), p.hashes.begin(), p.hashes.end());
        } else {
            e.hashOffset = static_cast<uint32_t>(reservedHash_[k]);
            std::copy(p.hashes.begin(), p.hashes.end(), hashes_.begin() + static_cast<std::ptrdiff_t>(reservedHash_[k]));
        }
    }
    at_ += l_.blockSize + p.storedSize;
    report_.originalBytes += static_cast<int64_t>(p.size);
    static constexpr const char* kHow[] = {"stored", "stream", "buffer", "brotli stream", "brotli buffer"};
    // The log and the progress label are Windows-1252 in every layout.
    const std::string name = l_.utf8 ? utf8ToCp1252(plan_.files[k].shown) : plan_.files[k].shown;
    log_("Packed " + name + ": " + std::to_string(p.size) + " -> " + std::to_string(p.storedSize) + " bytes, " +
         kHow[std::min<size_t>(p.storage, 4)]);
    host_.progress(static_cast<int>(k) + 1, "Packed: " + name);
}

void PackRun::writeWhole(TemporaryArchive& out, size_t k, PackedFile& p) {
    if (!p.error.empty()) fail(p.error);
    place(k, p.storedSize);
    if (l_.blockSize != 0) {
        const auto block = blockBytes(l_, plan_.files[k].name, plan_.files[k].mtime, p.crcOfBytes);
        check(out.writeAt(block.data(), block.size(), at_));
    }
    check(out.writeAt(p.bytes.data(), p.bytes.size(), at_ + l_.blockSize));
    finishFile(k, p);
}

void PackRun::writeStreamed(TemporaryArchive& out, size_t k) {
    const TocFile& file = plan_.files[k];
    place(k, 0);
    const uint64_t dataAt = at_ + l_.blockSize;
    auto sink = [&](const uint8_t* data, size_t size, uint64_t at) -> Status {
        if (l_.offsets32() && dataAt + at + size > kMax32) place(k, at + size);
        return out.writeAt(data, size, dataAt + at);
    };
    auto stop = [&] {
        host_.letEventsRun();
        return host_.stopRequested();
    };
    PackedFile p;
    check(packStreamed(file.path, file.size, settings_, sink, stop, p));
    if (l_.blockSize != 0) {
        const auto block = blockBytes(l_, file.name, file.mtime, p.crcOfBytes);
        check(out.writeAt(block.data(), block.size(), at_));
    }
    finishFile(k, p);
}

void PackRun::dataPass(TemporaryArchive& out) {
    const size_t count = plan_.files.size();
    auto whole = [&](size_t k) { return plan_.files[k].size <= kWholeUpTo; };
    auto stopCheck = [&] {
        host_.letEventsRun();
        if (host_.stopRequested()) fail("stopped before all files were packed");
    };
    if (o_.jobs <= 1 || count < 2) {
        WholeCompressor compressor(o_.level);
        if (!compressor.ok()) fail("not enough memory for the compressor");
        PackedFile p;
        for (size_t k = 0; k < count; ++k) {
            stopCheck();
            if (!whole(k)) {
                writeStreamed(out, k);
                continue;
            }
            compressor.pack(plan_.files[k].path, plan_.files[k].name, plan_.files[k].size, settings_, p);
            writeWhole(out, k, p);
            p = PackedFile{};
        }
        return;
    }

    // Workers prepare whole files ahead of the writer, within a window of
    // slots and a budget of bytes in flight; the writer takes them in table
    // order and streams the large ones itself, so the archive does not
    // depend on the number of workers. Slots are cheap and the byte budget
    // bounds the memory, so the window is wide: a narrow one would idle
    // every worker behind one large file.
    const int window = o_.jobs * 256;
    std::vector<PackedFile> slots(static_cast<size_t>(window));
    std::vector<std::unique_ptr<WholeCompressor>> workers;
    for (int j = 0; j < o_.jobs; ++j) workers.push_back(std::make_unique<WholeCompressor>(o_.level));
    auto produce = [&](int worker, int k) {
        const auto kk = static_cast<size_t>(k);
        PackedFile& slot = slots[kk % static_cast<size_t>(window)];
        if (!whole(kk)) return;
        WholeCompressor& w = *workers[static_cast<size_t>(worker)];
        try {
            if (!w.ok()) slot.error = "not enough memory for the compressor";
            else w.pack(plan_.files[kk].path, plan_.files[kk].name, plan_.files[kk].size, settings_, slot);
        } catch (const std::bad_alloc&) {
            slot.error = "not enough memory to pack \"" + plan_.files[kk].path.string() + "\"";
        }
    };
    auto takeOne = [&](int k) {
        const auto kk = static_cast<size_t>(k);
        PackedFile& slot = slots[kk % static_cast<size_t>(window)];
        if (whole(kk)) writeWhole(out, kk, slot);
        else writeStreamed(out, kk);
        slot = PackedFile{};
    };
    OrderedPipeline(o_.jobs, window, kPendingBudget,
                    [&](int k) {
                        const auto kk = static_cast<size_t>(k);
                        return whole(kk) ? wholeCost(plan_.files[kk].size, settings_) : uint64_t{0};
                    })
        .run(static_cast<int>(count), produce,
             [&](int) {
                 stopCheck();
                 return true;
             },
             takeOne);
}

PackReport PackRun::run() {
    checkOptions();
    planTables();
    at_ = dataOffset_;

    TemporaryArchive out(o_.target);
    check(out.opened());
    host_.progressStart(std::max<int>(1, static_cast<int>(plan_.files.size())));
    try {
        dataPass(out);
    } catch (...) {
        host_.progressEnd();
        throw;
    }
    host_.progressEnd();

    const uint64_t dataEnd = at_;
    const std::vector<uint8_t> tocBytes = toc();
    HeaderFields fields;
    fields.name = name_;
    fields.tocSize = tocBytes.size();
    fields.dataOffset = dataOffset_;
    fields.dataSize = dataEnd - dataOffset_;
    if (l_.tocAfterData) {
        fields.tocOffset = dataEnd;
        at_ = dataEnd + tocBytes.size();
    } else {
        fields.tocOffset = l_.headerSize;
        if (tocBytes.size() != tocSize_) fail("the table of contents changed size while packing");
    }
    if (l_.offsets32() && (at_ > kMax32 || fields.tocSize > kMax32))
        fail("the archive would pass 4 GiB (" + std::to_string(at_) + " bytes), beyond the 32-bit offsets of a " +
             l_.word + " archive; use --layout v9 or v10");
    const std::vector<uint8_t> head = headerBytes(l_, fields);
    check(out.writeAt(tocBytes.data(), tocBytes.size(), fields.tocOffset));
    check(out.writeAt(head.data(), head.size(), 0));
    check(out.truncate(at_));
    if (l_.headerMd5s) {
        const auto md5 = computeSignatures(out.path(), SignedRanges{static_cast<int64_t>(l_.headerSize),
                                                                    static_cast<int64_t>(fields.tocOffset),
                                                                    static_cast<int64_t>(fields.tocSize)});
        if (!md5) fail("cannot sign \"" + out.path().string() + "\": " + md5.message());
        check(out.writeAt(md5->headerBlock.data(), 16, 12));
        check(out.writeAt(md5->extraBlock.data(), 16, 156));
    }
    check(out.commit(target_));

    report_.ok = true;
    report_.folders = static_cast<int>(plan_.folders.size());
    report_.files = static_cast<int>(plan_.files.size());
    report_.archiveBytes = static_cast<int64_t>(at_);
    log_("Packed " + std::to_string(report_.files) + " files in " + std::to_string(report_.folders) +
         " folders into " + utf8ToCp1252(o_.target.string()) + ": " + std::to_string(at_) + " bytes");
    return report_;
}

} // namespace

PackLayout defaultPackLayout(const fs::path& target) {
    return extensionOf(target.filename().string()) == "sga" ? PackLayout::Wide : PackLayout::Narrow;
}

uint32_t chooseFlag(std::string_view storedName, uint64_t size) {
    const uint8_t storage = chooseStorage(storedName, size, PackStorage::Zlib);
    return storage == 1 ? 0x10u : storage == 2 ? 0x20u : 0u;
}

bool chooseMtime(std::optional<int64_t> explicitSeconds, const char* sourceDateEpoch,
                 std::optional<uint32_t>& out, std::string& error) {
    out.reset();
    auto inRange = [](int64_t v) { return v >= 0 && static_cast<uint64_t>(v) <= kMax32; };
    if (explicitSeconds) {
        if (!inRange(*explicitSeconds)) {
            error = "--mtime " + std::to_string(*explicitSeconds) + " is outside 0 to 4294967295";
            return false;
        }
        out = static_cast<uint32_t>(*explicitSeconds);
        return true;
    }
    if (sourceDateEpoch == nullptr || *sourceDateEpoch == '\0') return true;
    const std::string_view text(sourceDateEpoch);
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !inRange(value)) {
        error = "SOURCE_DATE_EPOCH \"" + std::string(text) + "\" is not a number of seconds from 0 to 4294967295";
        return false;
    }
    out = static_cast<uint32_t>(value);
    return true;
}

PackReport packArchive(const PackOptions& options, LogSink& log, ReportSink& host) {
    // Buffers of a MiB or more (files read whole, compressor tables) go back
    // to the system when freed, instead of staying in the allocator's
    // per-thread arenas, where a run of many jobs would keep each one's peak.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    PackRun run(options, log, host);
    PackReport failed;
    try {
        return run.run();
    } catch (const RunFailure& e) {
        failed.error = e.message;
    } catch (const std::bad_alloc&) {
        failed.error = "not enough memory";
    }
    log(utf8ToCp1252("Cannot pack: " + failed.error));
    return failed;
}

} // namespace sga
