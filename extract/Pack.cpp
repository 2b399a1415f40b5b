// Packing, the data half: checks the options, lays the folders out, then
// reads and compresses the files (in parallel when asked, written in table
// order), and finally writes the tables and both signatures.
#include "extract/Pack.h"

#include "core/ActivityLog.h"
#include "core/Cp1252.h"
#include "core/ReportSink.h"
#include "extract/OrderedPipeline.h"
#include "extract/PackTree.h"
#include "extract/Verify.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <memory>
#include <new>
#include <unistd.h>

namespace sga {
namespace {

namespace fs = std::filesystem;
using namespace sga::pack;

constexpr uint64_t kMax32 = 0xFFFFFFFFull;
constexpr uint64_t kStoredUpTo = 100;
constexpr size_t kArchiveNameUnits = 63;     // 128 bytes of UTF-16 with room for a zero
constexpr size_t kAliasBytes = 63;           // 64-byte fields with room for a zero
// Bytes of files read but not yet written, beyond the one being waited for.
constexpr uint64_t kPendingBudget = 64ull << 20;

std::string systemError() { return std::strerror(errno); }

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
        if (i + static_cast<size_t>(extra) >= text.size()) return false;
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

// The archive file under a temporary name beside the target; removed unless
// committed.
class TemporaryArchive {
public:
    explicit TemporaryArchive(const fs::path& target) : target_(target) {
        static std::atomic<unsigned> counter{0};
        const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
        path_ = folder / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "-" +
                          std::to_string(counter.fetch_add(1)) + ".tmp");
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0) error_ = systemError();
    }
    ~TemporaryArchive() {
        if (fd_ < 0) return;
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    TemporaryArchive(const TemporaryArchive&) = delete;
    TemporaryArchive& operator=(const TemporaryArchive&) = delete;

    bool opened() const { return fd_ >= 0; }
    const std::string& openError() const { return error_; }
    const fs::path& path() const { return path_; }

    // Empty on success, otherwise the system's reason.
    std::string writeAt(const uint8_t* data, size_t size, uint64_t offset) const {
        while (size > 0) {
            const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno == EINTR) continue;
                return systemError();
            }
            data += n;
            size -= static_cast<size_t>(n);
            offset += static_cast<uint64_t>(n);
        }
        return {};
    }
    std::string commit() {
        if (::fsync(fd_) != 0) return systemError();
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            ::unlink(path_.c_str());
            return systemError();
        }
        if (::rename(path_.c_str(), target_.c_str()) != 0) {
            const std::string why = systemError();
            ::unlink(path_.c_str());
            return why;
        }
        return {};
    }

private:
    fs::path target_;
    fs::path path_;
    int fd_ = -1;
    std::string error_;
};

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

// One file read and made ready to write.
struct Prepared {
    std::vector<uint8_t> bytes;   // the stored bytes
    uint32_t flag = 0;
    uint32_t crc = 0;
    uint64_t size = 0;
    std::string error;            // UTF-8; the run fails with it
};

std::string shownUtf8(const TocFile& f) { return cp1252ToUtf8(f.shown); }

void prepare(const TocFile& file, libdeflate_compressor* compressor, std::vector<uint8_t>& scratch,
             Prepared& out) {
    out.error.clear();
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        out.error = "\"" + file.path.string() + "\": cannot read it: " + systemError();
        return;
    }
    // One byte more than expected shows a file that grew since the scan.
    scratch.resize(static_cast<size_t>(file.size) + 1);
    size_t got = 0;
    while (got < scratch.size()) {
        const ssize_t n = ::read(fd, scratch.data() + got, scratch.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.error = "\"" + file.path.string() + "\": cannot read it: " + systemError();
            ::close(fd);
            return;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got != file.size) {
        out.error = "\"" + file.path.string() + "\": it changed while being packed";
        return;
    }
    scratch.resize(got);
    out.size = got;
    out.crc = static_cast<uint32_t>(libdeflate_crc32(0, scratch.data(), scratch.size()));
    out.flag = chooseFlag(file.name, got);
    if (out.flag != 0) {
        // Room for one byte less than the file: a stream that does not shrink it is not kept.
        out.bytes.resize(got - 1);
        const size_t n = libdeflate_zlib_compress(compressor, scratch.data(), scratch.size(),
                                                  out.bytes.data(), out.bytes.size());
        if (n != 0) {
            out.bytes.resize(n);
            return;
        }
        out.flag = 0;
    }
    out.bytes.swap(scratch);
}

class PackRun {
public:
    PackRun(const PackOptions& options, LogSink& log, ReportSink& host)
        : o_(options), log_(log), host_(host) {}

    PackReport run();

private:
    void checkOptions();
    void dataPass(TemporaryArchive& out);
    void writeOne(TemporaryArchive& out, size_t k, Prepared& p);
    std::vector<uint8_t> header(uint32_t tocSize) const;

    const PackOptions& o_;
    LogSink& log_;
    ReportSink& host_;
    PackReport report_;
    std::vector<SourceFolder> roots_;
    std::vector<std::string> aliases_;     // Windows-1252
    std::u16string name_;
    TocPlan plan_;
    std::vector<StoredEntry> entries_;
    uint64_t dataOffset_ = 0;
    uint64_t at_ = 0;                      // where the next block goes
};

void PackRun::checkOptions() {
    if (o_.drives.empty()) throw PackError("nothing to pack: no folder given");
    // The readers of 17-byte archives know a single drive.
    if (o_.layout == PackLayout::Narrow && o_.drives.size() > 1)
        throw PackError("\"" + o_.drives[1].alias + "\": the hw2 layout holds one drive; use --layout dow for " +
                        std::to_string(o_.drives.size()));
    if (o_.level < 1 || o_.level > 12)
        throw PackError("level " + std::to_string(o_.level) + " is outside 1 to 12");
    for (const PackDrive& d : o_.drives) {
        if (d.alias.empty()) throw PackError("a drive alias is empty");
        const std::string alias = storedName(d.alias, true, "alias " + d.alias);
        if (alias.size() > kAliasBytes)
            throw PackError("\"alias " + d.alias + "\": longer than " + std::to_string(kAliasBytes) +
                            " bytes");
        for (const std::string& other : aliases_)
            if (lowerCp1252(other) == lowerCp1252(alias))
                throw PackError("\"alias " + d.alias + "\": two drives have that alias");
        aliases_.push_back(alias);
    }
    std::string name = o_.archiveName;
    if (name.empty()) name = o_.target.stem().string();
    if (!utf16Of(name, name_)) throw PackError("\"" + name + "\": the archive name is not UTF-8");
    // The readers of 17-byte archives take one file record more than the count
    // for this name, so such an archive would not open.
    if (o_.layout == PackLayout::Narrow && name_ == u"HW2LocaleArchive")
        throw PackError("\"" + name + "\": an hw2 archive of that name is read with one file more than it holds; "
                        "choose another name or --layout dow");
    if (name_.size() > kArchiveNameUnits)
        throw PackError("\"" + name + "\": the archive name is longer than " +
                        std::to_string(kArchiveNameUnits) + " characters");
    if (o_.target.filename().empty()) throw PackError("\"" + o_.target.string() + "\": not a file name");
    std::error_code ec;
    if (fs::is_directory(o_.target, ec))
        throw PackError("\"" + o_.target.string() + "\": the target is a folder");
}

std::vector<uint8_t> PackRun::header(uint32_t tocSize) const {
    std::vector<uint8_t> h(kHeaderSize, 0);
    std::memcpy(h.data(), "_ARCHIVE", 8);
    h[8] = 2;                                     // major 2, minor 0
    for (size_t i = 0; i < name_.size(); ++i) {
        h[28 + 2 * i] = static_cast<uint8_t>(name_[i]);
        h[29 + 2 * i] = static_cast<uint8_t>(name_[i] >> 8);
    }
    const auto dataOffset = static_cast<uint32_t>(dataOffset_);
    for (int i = 0; i < 4; ++i) {
        h[172 + static_cast<size_t>(i)] = static_cast<uint8_t>(tocSize >> (8 * i));
        h[176 + static_cast<size_t>(i)] = static_cast<uint8_t>(dataOffset >> (8 * i));
    }
    return h;
}

void PackRun::writeOne(TemporaryArchive& out, size_t k, Prepared& p) {
    if (!p.error.empty()) throw PackError(p.error);
    const TocFile& file = plan_.files[k];
    const uint64_t end = at_ + kBlockSize + p.bytes.size();
    if (end > kMax32)
        throw PackError("\"" + shownUtf8(file) + "\": the archive would pass 4 GiB, beyond its 32-bit offsets");
    uint8_t block[kBlockSize] = {};
    std::memcpy(block, file.name.data(), file.name.size());
    for (int i = 0; i < 4; ++i) {
        block[kBlockNameSize + static_cast<size_t>(i)] = static_cast<uint8_t>(file.mtime >> (8 * i));
        block[kBlockNameSize + 4 + static_cast<size_t>(i)] = static_cast<uint8_t>(p.crc >> (8 * i));
    }
    std::string why = out.writeAt(block, sizeof block, at_);
    if (why.empty()) why = out.writeAt(p.bytes.data(), p.bytes.size(), at_ + kBlockSize);
    if (!why.empty()) throw PackError("cannot write \"" + out.path().string() + "\": " + why);
    entries_[k] = {p.flag, static_cast<uint32_t>(at_ + kBlockSize - dataOffset_),
                   static_cast<uint32_t>(p.bytes.size()), static_cast<uint32_t>(p.size)};
    at_ = end;
    report_.originalBytes += static_cast<int64_t>(p.size);
    static constexpr const char* kHow[] = {"stored", "stream", "buffer"};
    log_("Packed " + file.shown + ": " + std::to_string(p.size) + " -> " +
         std::to_string(p.bytes.size()) + " bytes, " + kHow[p.flag >> 4]);
    host_.progress(static_cast<int>(k) + 1, "Packed: " + file.shown);
}

void PackRun::dataPass(TemporaryArchive& out) {
    const size_t count = plan_.files.size();
    auto stopCheck = [&](size_t k) {
        host_.letEventsRun();
        if (host_.stopRequested()) throw PackError("stopped before all files were packed");
    };
    if (o_.jobs <= 1 || count < 2) {
        Compressor compressor(libdeflate_alloc_compressor(o_.level));
        if (!compressor) throw PackError("not enough memory for the compressor");
        std::vector<uint8_t> scratch;
        Prepared p;
        for (size_t k = 0; k < count; ++k) {
            stopCheck(k);
            prepare(plan_.files[k], compressor.get(), scratch, p);
            writeOne(out, k, p);
        }
        return;
    }

    // Workers prepare files ahead of the writer, within a window of slots and
    // a budget of pending bytes; the writer takes them in table order, so the
    // archive does not depend on the number of workers. Slots are cheap and
    // the byte budget bounds the memory, so the window is wide: a narrow one
    // would idle every worker behind one large file.
    const int window = o_.jobs * 256;
    std::vector<Prepared> slots(static_cast<size_t>(window));
    struct WorkerState {
        Compressor compressor;
        std::vector<uint8_t> scratch;
    };
    std::vector<WorkerState> workers(static_cast<size_t>(o_.jobs));
    for (WorkerState& w : workers) w.compressor.reset(libdeflate_alloc_compressor(o_.level));
    auto produce = [&](int worker, int k) {
        WorkerState& w = workers[static_cast<size_t>(worker)];
        Prepared& slot = slots[static_cast<size_t>(k % window)];
        try {
            if (!w.compressor)
                slot.error = "not enough memory for the compressor";
            else
                prepare(plan_.files[static_cast<size_t>(k)], w.compressor.get(), w.scratch, slot);
        } catch (const std::bad_alloc&) {
            slot.error = "not enough memory to pack \"" + plan_.files[static_cast<size_t>(k)].path.string() + "\"";
        }
    };
    auto take = [&](int k) {
        Prepared& slot = slots[static_cast<size_t>(k % window)];
        writeOne(out, static_cast<size_t>(k), slot);
        slot.bytes = {};
    };
    OrderedPipeline(o_.jobs, window, kPendingBudget,
                    [&](int k) { return static_cast<uint64_t>(plan_.files[static_cast<size_t>(k)].size); })
        .run(static_cast<int>(count), produce,
             [&](int k) {
                 stopCheck(static_cast<size_t>(k));
                 return true;
             },
             take);
}

PackReport PackRun::run() {
    checkOptions();
    ScanOptions scan;
    scan.keepCase = o_.keepCase;
    std::error_code ec;
    scan.exclude = fs::weakly_canonical(fs::absolute(o_.target, ec), ec);
    roots_.reserve(o_.drives.size());
    for (const PackDrive& d : o_.drives) roots_.push_back(scanFolder(d.folder, scan, report_.warnings));
    std::vector<PlanDrive> drives;
    for (size_t i = 0; i < roots_.size(); ++i) drives.push_back({aliases_[i], &roots_[i]});
    plan_ = layOut(drives);
    for (size_t i = 0; i < plan_.files.size(); ++i) {
        TocFile& f = plan_.files[i];
        if (f.size > kMax32)
            throw PackError("\"" + shownUtf8(f) + "\": " + std::to_string(f.size) +
                            " bytes, beyond the archive's 32-bit sizes");
    }
    if (o_.mtime)
        for (TocFile& f : plan_.files) f.mtime = *o_.mtime;
    const RecordLayout layout = o_.layout == PackLayout::Narrow ? RecordLayout::Narrow : RecordLayout::Wide;
    const uint64_t tocSize = tocBytes(plan_, layout, {}).size();
    dataOffset_ = kHeaderSize + tocSize;
    if (dataOffset_ > kMax32) throw PackError("the table of contents passes 4 GiB");
    at_ = dataOffset_;
    entries_.assign(plan_.files.size(), StoredEntry{});

    TemporaryArchive out(o_.target);
    if (!out.opened())
        throw PackError("cannot create \"" + o_.target.string() + "\": " + out.openError());
    host_.progressStart(std::max<int>(1, static_cast<int>(plan_.files.size())));
    try {
        dataPass(out);
    } catch (...) {
        host_.progressEnd();
        throw;
    }
    host_.progressEnd();

    const std::vector<uint8_t> toc = tocBytes(plan_, layout, entries_);
    const std::vector<uint8_t> head = header(static_cast<uint32_t>(tocSize));
    std::string why = out.writeAt(head.data(), head.size(), 0);
    if (why.empty()) why = out.writeAt(toc.data(), toc.size(), kHeaderSize);
    if (!why.empty()) throw PackError("cannot write \"" + out.path().string() + "\": " + why);
    const auto signatures = computeSignatures(out.path(), static_cast<int32_t>(tocSize));
    if (!signatures) throw PackError("cannot sign \"" + out.path().string() + "\": " + signatures.message());
    why = out.writeAt(signatures->headerBlock.data(), 16, 12);
    if (why.empty()) why = out.writeAt(signatures->extraBlock.data(), 16, 156);
    if (why.empty()) why = out.commit();
    if (!why.empty()) throw PackError("cannot write \"" + o_.target.string() + "\": " + why);

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
    static constexpr std::string_view kText[] = {
        "lua", "ucs", "txt", "ai", "scar", "events", "ship", "wepn", "subs", "resource", "madstate",
        "miss", "level", "xml", "ini", "cfg", "csv", "htm", "html", "json", "inf", "con"};
    if (size <= kStoredUpTo) return 0;
    const std::string ext = extensionOf(storedName);
    return std::find(std::begin(kText), std::end(kText), ext) != std::end(kText) ? 0x20 : 0x10;
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
    PackRun run(options, log, host);
    try {
        return run.run();
    } catch (const PackError& e) {
        PackReport failed;
        failed.error = e.what();
        log(utf8ToCp1252("Cannot pack: " + failed.error));
        return failed;
    } catch (const std::bad_alloc&) {
        PackReport failed;
        failed.error = "not enough memory";
        log("Cannot pack: not enough memory");
        return failed;
    }
}

} // namespace sga
