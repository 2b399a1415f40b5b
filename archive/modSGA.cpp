#include "archive/modSGA.h"

#include "archive/LoadReport.h"

#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "core/ReportSink.h"
#include "core/ActivityLog.h"

#include <cstring>
#include <limits>
#include <sys/stat.h>

namespace sga {
namespace {

constexpr int32_t kDirectoryRecordSize = 12;
constexpr int32_t kFileRecordSize = 17;
constexpr std::string_view kLocaleArchive = "HW2LocaleArchive";
// The two stored counts the loader decrements, as messages name them.
constexpr std::string_view kFolderCount = "folder count";
constexpr std::string_view kNameCount = "name count";

std::string n(int64_t value) { return std::to_string(value); }

// Raised inside the loader only; openArchive turns it into a Status.
struct LoadFailure {
    ErrorCode code;
    std::string message;
};

[[noreturn]] void fail(ErrorCode code, std::string message) {
    throw LoadFailure{code, std::move(message)};
}

// Little-endian fields, each named so that a failure says what was being read.
class FieldReader {
public:
    explicit FieldReader(FileReader& file) : file_(file) {}

    void bytes(void* out, size_t count, std::string_view field) {
        const int64_t at = file_.tell();
        if (!file_.read(out, count)) {
            fail(ErrorCode::Truncated, "truncated archive: " + std::string(field) + " at offset " + n(at) + " needs " +
                 n(static_cast<int64_t>(count)) + " bytes, the file ends at " + n(file_.size()) +
                 (file_.error().empty() || file_.error() == "unexpected end of file"
                      ? std::string()
                      : " (" + file_.error() + ")"));
        }
    }
    int32_t i32(std::string_view field) {
        uint8_t b[4];
        bytes(b, 4, field);
        return static_cast<int32_t>(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 |
                                    uint32_t{b[3]} << 24);
    }
    int16_t i16(std::string_view field) {
        uint8_t b[2];
        bytes(b, 2, field);
        return static_cast<int16_t>(uint16_t(b[0] | b[1] << 8));
    }
    uint8_t u8(std::string_view field) {
        uint8_t b = 0;
        bytes(&b, 1, field);
        return b;
    }
    std::string text(size_t length, std::string_view field) {
        std::string s(length, '\0');
        bytes(s.data(), length, field);
        return s;
    }
    std::array<int32_t, 4> words(std::string_view field) {
        std::array<int32_t, 4> w{};
        for (auto& v : w) v = i32(field);
        return w;
    }
    // 1-based read position, as the trace shows it.
    int64_t pos() const { return file_.tell() + 1; }
    int64_t offset() const { return file_.tell(); }

private:
    FileReader& file_;
};

int16_t decrement16(int16_t stored, std::string_view field, int64_t offset) {
    if (stored < 1) {
        fail(ErrorCode::BadField, std::string(field) + " at offset " + n(offset) + " is " + n(stored) +
             ", it must be at least 1");
    }
    return static_cast<int16_t>(stored - 1);
}

class Loader {
public:
    Loader(const std::filesystem::path& path, LogSink& log, ReportSink& host)
        : path_(path), log_(log), host_(host), in_(file_) {}

    void run(ArchiveIndex& idx, ArchiveTree& tree);

private:
    void readHeader(ArchiveIndex& idx);
    void readDirectoryTable(ArchiveIndex& idx);
    void readFileTable(ArchiveIndex& idx);
    void readNames(ArchiveIndex& idx, ArchiveTree& tree);

    const std::filesystem::path& path_;
    LogSink& log_;
    ReportSink& host_;
    FileReader file_;
    FieldReader in_;
    // Offsets of the stored counts, for messages.
    int64_t dirCountOffset_ = 0;
    int64_t totalEntriesOffset_ = 0;
};

void Loader::readHeader(ArchiveIndex& idx) {
    idx.magic = in_.text(8, "magic");
    idx.version = in_.i32("version");
    switch (idx.version) {
    case 1: log_("IC Mod Archive"); break;
    case 2: log_("Engine Archive"); break;
    case 3: log_("Unknown archive!"); break;
    default: break;
    }
    idx.headerBlock = in_.words("data signature");
    idx.archiveName = in_.text(128, "archive name");
    log_(stripNuls(idx.archiveName));
    if (idx.version == 2) idx.extraBlock = in_.words("ToC signature");
    idx.headerValue = in_.i32("ToC size");
    idx.dataOffset = in_.i32("data offset");

    EngineData& d = idx.myEngineData;
    d.table1Offset = in_.i32("drive table offset");
    d.table1Count = in_.i16("drive count");
    d.dirTableOffset = in_.i32("folder table offset");
    dirCountOffset_ = in_.offset();
    d.dirCount = in_.i16(kFolderCount);
    d.fileTableOffset = in_.i32("file table offset");
    d.fileCount = in_.i16("file count");
    d.nameTableOffset = in_.i32("name table offset");
    totalEntriesOffset_ = in_.offset();
    d.totalEntries = in_.i16(kNameCount);
    d.tocText1 = in_.text(64, "drive alias");
    d.tocText2 = in_.text(64, "drive name");
    d.tocWord = in_.i16("drive record");
    d.numOfRecords = in_.i32("directory record count");
    d.noOfChunks = in_.i16("drive record");

    log_(idx.version);
    log_("  Total entries: " + n(d.totalEntries));
    d.totalEntries = decrement16(d.totalEntries, kNameCount, totalEntriesOffset_);
    d.dirCount = decrement16(d.dirCount, kFolderCount, dirCountOffset_);
    log_("  Directories: " + n(d.dirCount));
    log_("  Filenames: " + n(d.fileCount));
    log_("0 Current pos: " + n(in_.pos()));
    log_("noOfChunks: " + n(d.noOfChunks) + " (hex: " + hex16(d.noOfChunks) + ")");
    log_("numOfRecords: " + n(d.numOfRecords));
    log_("totalEntries: " + n(d.totalEntries));
}

void Loader::readDirectoryTable(ArchiveIndex& idx) {
    const EngineData& d = idx.myEngineData;
    const int64_t tableOffset = in_.offset();
    if (d.numOfRecords < 0) {
        fail(ErrorCode::BadField, "directory record count " + n(d.numOfRecords) + " is negative");
    }
    if (d.numOfRecords < int32_t{d.dirCount} + 1) {
        fail(ErrorCode::BadField, "directory table holds " + n(d.numOfRecords) +
                                      " records, fewer than the " + n(d.dirCount + 1) +
                                      " that the folder count (offset " + n(dirCountOffset_) + ") names");
    }
    if (int64_t{d.numOfRecords} * kDirectoryRecordSize > file_.remaining()) {
        fail(ErrorCode::Truncated, "truncated archive: directory table of " + n(d.numOfRecords) + " records at offset " +
             n(tableOffset) + " runs past the end of the file (" + n(file_.size()) + " bytes)");
    }
    if (int64_t{d.dirCount} + 1 > int64_t{d.totalEntries} + 1) {
        fail(ErrorCode::BadField, "folder count " + n(d.dirCount + 1) + " exceeds the name count " +
                                      n(d.totalEntries + 1) + " (offset " + n(totalEntriesOffset_) + ")");
    }
    // Every name takes at least one byte of what is left.
    if (int64_t{d.totalEntries} > file_.remaining()) {
        fail(ErrorCode::Truncated, "truncated archive: " + n(d.totalEntries) + " names (the name count at offset " +
             n(totalEntriesOffset_) + ") cannot fit in the " + n(file_.remaining()) +
             " bytes after offset " + n(tableOffset));
    }
    idx.entries.assign(static_cast<size_t>(d.totalEntries), FileEntry{});
    idx.dirRecords.assign(static_cast<size_t>(d.numOfRecords), DirectoryEntry{});

    for (int32_t h = 1; h <= d.numOfRecords; ++h) {
        const int64_t at = in_.offset();
        DirectoryEntry& r = idx.dirRecords[static_cast<size_t>(h - 1)];
        r.int4 = in_.i16("directory record");
        r.toc = in_.i32("directory record");
        r.int2 = in_.i16("directory record");
        r.int3 = in_.i16("directory record");
        r.start = in_.i16("directory record");
        log_(pad(h, 5) + ": " + pad(r.toc, 9) + " " + pad(r.start, 9) + " " + pad(r.int2, 9) +
             " " + pad(r.int3, 9) + " " + pad(r.int4, 9));
        const int32_t start = int32_t{r.start} + d.dirCount;
        if (start > std::numeric_limits<int16_t>::max()) {
            fail(ErrorCode::BadField, "directory record " + n(h) + " at offset " + n(at) +
                                          ": first file " + n(r.start) + " plus the " + n(d.dirCount) +
                                          " named folders leaves 16 bits");
        }
        r.start = static_cast<int16_t>(start);
        host_.letEventsRun();
    }
}

void Loader::readFileTable(ArchiveIndex& idx) {
    EngineData& d = idx.myEngineData;
    log_("1 Current pos: " + n(in_.pos()) + " " + n(d.noOfChunks));
    const int64_t countOffset = in_.offset();
    d.noOfChunks = in_.i16("file record count");
    log_("myEngineData.noOfChunks: " + n(d.noOfChunks));
    if (d.noOfChunks < 0) {
        fail(ErrorCode::BadField, "file record count at offset " + n(countOffset) + " is negative (" +
             n(d.noOfChunks) + ")");
    }
    int32_t records = d.noOfChunks;
    if (stripNuls(idx.archiveName) == kLocaleArchive) ++records;
    if (int64_t{records} * kFileRecordSize > file_.remaining()) {
        fail(ErrorCode::Truncated, "truncated archive: file table of " + n(records) + " records at offset " +
             n(in_.offset()) + " runs past the end of the file (" + n(file_.size()) + " bytes)");
    }
    if (int32_t{d.dirCount} + records > d.totalEntries) {
        fail(ErrorCode::BadField, "file table at offset " + n(in_.offset()) + " holds " + n(records) +
                                      " records but the name table has only " +
                                      n(d.totalEntries - d.dirCount) + " file names (name count " +
                                      n(d.totalEntries + 1) + ", folder count " + n(d.dirCount + 1) + ")");
    }
    for (int32_t h = 1; h <= records; ++h) {
        const int64_t at = in_.offset();
        FileEntry& e = idx.entries[static_cast<size_t>(d.dirCount + h - 1)];
        e.toc = in_.i32("file record");
        e.null = in_.u8("file record");
        const int32_t filePos = in_.i32("file record");
        const int32_t compSize = in_.i32("file record");
        e.orgSize = in_.i32("file record");
        const int64_t blockPos = int64_t{filePos} + idx.dataOffset - kDataBlockSize;
        if (blockPos < std::numeric_limits<int32_t>::min() ||
            blockPos > std::numeric_limits<int32_t>::max()) {
            fail(ErrorCode::BadField, "file record " + n(h) + " at offset " + n(at) + ": data position " +
                 n(int64_t{filePos} + idx.dataOffset) + " is out of range");
        }
        if (compSize == std::numeric_limits<int32_t>::min()) {
            fail(ErrorCode::BadField, "file record " + n(h) + " at offset " + n(at) + ": stored size " + n(compSize) +
                 " is out of range");
        }
        e.filePos = static_cast<int32_t>(blockPos);
        e.compSize = compSize - 1;
        host_.letEventsRun();
    }
    uint8_t skipped = 0;
    in_.bytes(&skipped, 1, "byte after the file table");
    log_("2 Current pos: " + n(in_.pos()));
}

void Loader::readNames(ArchiveIndex& idx, ArchiveTree& tree) {
    const int32_t dirCount = idx.dirCount();
    const int32_t total = idx.totalEntries();
    idx.nameTablePos = static_cast<int32_t>(in_.pos());
    const int root = tree.add(-1, std::string(ArchiveTree::kRootKey),
                              utf8ToCp1252(fileNameOf(path_.string())));
    log_("");
    TreeBuilder builder(tree, idx, root);
    for (int32_t m = 1; m <= total; ++m) {
        FileEntry& e = idx.entries[static_cast<size_t>(m - 1)];
        if (file_.atEnd()) {
            fail(ErrorCode::Truncated, "truncated archive: the name table ends at offset " + n(file_.size()) +
                 " before name " + n(m) + " of " + n(total));
        }
        e.name = readString(file_);
        host_.status("Processing: " + e.name);
        // Names of a large archive take a while too: keep the window alive.
        host_.letEventsRun();
        if (m > dirCount) {
            log_(pad(m - dirCount, 5) + ": " + pad(e.name, 41) + " " + pad(e.toc, 9) + " " +
                 pad(e.null, 9) + " " + pad(e.filePos, 9) + " " + pad(e.compSize, 9) + " " +
                 pad(e.orgSize, 9));
            builder.addEntry(m);
        } else {
            if (m == 1) {
                log_("Directory entries:" + pad(" ", 30) + " " + pad("toc", 9) + " " +
                     pad("start", 9) + " " + pad("int2", 9) + " " + pad("int3", 9) + " " +
                     pad("int4", 9));
            }
            const DirectoryEntry& r = idx.dirRecords[static_cast<size_t>(m)];
            log_(pad(m, 5) + ": " + pad(e.name, 41) + " " + pad(r.toc, 9) + " " +
                 pad(int32_t{r.start} + 1, 9) + " " + pad(r.int2, 9) + " " + pad(r.int3, 9) +
                 " " + pad(r.int4, 9));
            builder.addEntry(m);
            if (m == dirCount) {
                log_("File entries:" + pad(" ", 35) + " " + pad("toc", 9) + " " +
                     pad("null", 9) + " " + pad("filePos", 9) + " " + pad("compSize", 9) + " " +
                     pad("orgSize", 9));
            }
        }
    }
    log_("");
    log_("3 Current pos: " + n(in_.pos()));
}

void Loader::run(ArchiveIndex& idx, ArchiveTree& tree) {
    if (!file_.open(path_)) {
        fail(ErrorCode::CannotOpen, "cannot open " + path_.string() + ": " + file_.error());
    }
    reportOpened(path_, log_);
    idx.archiveFolder = folderOf(path_.string());

    readHeader(idx);
    readDirectoryTable(idx);
    readFileTable(idx);
    readNames(idx, tree);
    file_.close();
    log_("Parsing treeview...");
    tree.expandRoot();
}

} // namespace

bool isNormalVisibleFile(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // The counterpart of a hidden file here is a name that begins with a dot.
    const std::string name = path.filename().string();
    return name.empty() || name[0] != '.';
}

Status openArchive(const std::filesystem::path& path, ArchiveIndex& index, ArchiveTree& tree,
                   LogSink& log, ReportSink& host) {
    const BusyScope busy(host);

    ArchiveIndex next;
    next.extraBlock = index.extraBlock;   // kept from an earlier load unless version 2
    ArchiveTree nextTree;
    try {
        Loader loader(path, log, host);
        loader.run(next, nextTree);
    } catch (const LoadFailure& failure) {
        index = ArchiveIndex{};
        tree.clear();
        return reportCannotLoad(path, Status::error(failure.code, failure.message), log, host);
    }

    index = std::move(next);
    tree = std::move(nextTree);
    // The 17-byte reader's status text is the count alone.
    reportLoaded(index.totalEntries(), {}, log, host);
    return {};
}

std::string stripNuls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\0') out.push_back(c);
    }
    return out;
}

std::string readString(FileReader& file) {
    std::string name;
    uint8_t byte = 0;
    while (file.readByte(byte)) {
        if (byte == 0) break;
        name.push_back(static_cast<char>(byte));
    }
    return name;
}

std::string pad(std::string_view text, size_t width) {
    if (text.size() >= width) return std::string(text);
    return std::string(width - text.size(), ' ') + std::string(text);
}

std::string pad(int64_t number, size_t width) { return pad(std::to_string(number), width); }

std::string hex16(int16_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    uint32_t v = value < 0 ? static_cast<uint16_t>(value) : static_cast<uint32_t>(value);
    if (v == 0) return "0";
    std::string out;
    while (v != 0) {
        out.insert(out.begin(), kDigits[v & 0xF]);
        v >>= 4;
    }
    return out;
}

std::string folderOf(std::string_view path) {
    const auto sep = path.rfind('/');
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

std::string fileNameOf(std::string_view path) {
    const auto sep = path.rfind('/');
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

} // namespace sga
