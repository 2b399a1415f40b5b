// Extract all: every directory, then every file, under
// extractLocation/<archive file name>/.
#include "extract/Extract.h"

#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "core/ReportSink.h"
#include "archive/modSGA.h"
#include "extract/OrderedPipeline.h"
#include "extract/EntryData.h"
#include "extract/OutputFiles.h"
#include "extract/SafePath.h"
#include "core/ActivityLog.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <unordered_set>

namespace sga {
namespace {

namespace fs = std::filesystem;

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Where one file entry goes.
struct FileTarget {
    std::string shown;                    // the log's "Extracting: " target (8-bit)
    std::optional<fs::path> relative;     // below extractBase; empty when refused
    std::string refusal;
};

// An entry of size 0 is written as an empty file without reading it, as
// long as nothing says otherwise: its block and stored bytes lie inside the
// archive, and an uncompressed entry stores no bytes. Any other entry is read.
bool isPlainEmptyEntry(const ArchiveFile& f, int64_t archiveSize) {
    if (f.size != 0 || f.storedSize < 0) return false;
    const int64_t start = f.blockSize > 0 ? f.blockPos : f.dataPos;
    if (start < 0 || f.dataPos < 0 || f.dataPos + f.storedSize > archiveSize) return false;
    if (f.storage == Storage::Encrypted || f.storage == Storage::Unknown) return false;
    return f.storage != Storage::Stored || f.storedSize == 0;
}

// Folders known to exist in this run, so a folder is checked once, not once
// per file in it.
using KnownFolders = std::unordered_set<std::string>;

// Reads and writes one file entry; logs what went wrong. True when written.
class FileEntryWriter {
public:
    FileEntryWriter(const fs::path& base, const std::string& baseShown)
        : base_(base), baseShown_(baseShown) {}

    bool write(const ArchiveFile& f, const FileTarget& target, FileReader& archive, LogSink& log,
               KnownFolders& folders) const {
        if (!target.relative) {
            log("Skipped " + f.path() + ": unsafe name (" + target.refusal + ")");
            return false;
        }
        fs::path relative = *target.relative;
        const bool plainEmpty = isPlainEmptyEntry(f, archive.size());
        // Only below extractBase: the folders above it are not the archive's.
        if (!plainEmpty) relative = replaceAll(relative.string(), ".fda", ".aifr");
        const fs::path path = base_ / relative;
        const std::string shown = baseShown_ + logText(relative.string());
        if (plainEmpty) return store(path, shown, nullptr, 0, log, folders);
        if (streamsEntry(f)) return writeStreamed(f, path, shown, archive, log, folders);
        const uint8_t* bytes = nullptr;
        size_t size = 0;
        const int16_t result = readFileBytesInPlace(f, archive, log, &bytes, &size);
        if (result != 0) {
            log("Cannot extract " + f.path() + ": " + describeEntryFailure(f, result));
            return false;
        }
        log("result 0");
        return store(path, shown, bytes, size, log, folders);
    }

private:
    static std::string ensureFolder(const fs::path& folder, KnownFolders& folders) {
        if (folders.contains(folder.native())) return {};
        if (std::error_code ec; !fs::is_directory(folder, ec)) {
            if (std::string why = createFolders(folder); !why.empty()) return why;
        }
        folders.insert(folder.native());
        return {};
    }

    static void logFolderFailure(const fs::path& path, const std::string& why, LogSink& log) {
        log("Cannot create directory " + logText(path.parent_path().string()) + ": " + why);
    }

    static bool store(const fs::path& path, const std::string& shown, const uint8_t* data, size_t size,
                      LogSink& log, KnownFolders& folders) {
        if (const std::string why = ensureFolder(path.parent_path(), folders); !why.empty()) {
            logFolderFailure(path, why, log);
            return false;
        }
        if (const std::string why = writeWholeFile(path, data, size); !why.empty()) {
            log("Cannot write " + shown + ": " + why);
            return false;
        }
        return true;
    }

    // An entry too large to hold whole goes to disk chunk by chunk. The log
    // reads as for an entry held whole: a folder or write failure is told
    // after the entry has decoded (its bytes are then decoded and dropped).
    static bool writeStreamed(const ArchiveFile& f, const fs::path& path, const std::string& shown,
                              FileReader& archive, LogSink& log, KnownFolders& folders) {
        const std::string folderWhy = ensureFolder(path.parent_path(), folders);
        OutputFile out;
        std::string writeWhy = folderWhy.empty() ? out.open(path) : std::string();
        bool writing = folderWhy.empty() && writeWhy.empty();
        const int16_t result = streamFileBytes(f, archive, log, nullptr, [&](const uint8_t* data, size_t size) {
            if (writing) {
                writeWhy = out.write(data, size);
                writing = writeWhy.empty();
            }
            return true;
        });
        if (result != 0) {
            out.abandon();
            log("Cannot extract " + f.path() + ": " + describeEntryFailure(f, result));
            return false;
        }
        log("result 0");
        if (!folderWhy.empty()) {
            logFolderFailure(path, folderWhy, log);
            return false;
        }
        if (writeWhy.empty()) writeWhy = out.commit();
        if (!writeWhy.empty()) {
            out.abandon();
            log("Cannot write " + shown + ": " + writeWhy);
            return false;
        }
        return true;
    }

    fs::path base_;
    std::string baseShown_;
};

class ExtractAllRun {
public:
    ExtractAllRun(const ExtractContext& context, const ExtractAllOptions& options)
        : c_(context), model_(context.model), log_(context.log), host_(context.host),
          jobs_(std::max(1, options.jobs)) {}

    ExtractReport run();

private:
    bool prepareFolders();
    void directoryPass();
    void filePass();
    void filePassParallel();
    FileTarget targetOf(const ArchiveFile& f) const;
    // Progress, status label and the "Extracting: " line of file entry i;
    // false when the host asks to stop.
    bool announceFile(int i, const FileTarget& target);
    void failAll(const std::string& line);

    const ExtractContext& c_;
    const ArchiveModel& model_;
    LogSink& log_;
    ReportSink& host_;
    int jobs_;
    FileReader archive_;
    fs::path base_;
    std::string baseShown_;
    std::optional<FileEntryWriter> writer_;
    ExtractReport report_;
    int stoppedAt_ = 0;
    KnownFolders folders_;
};

void ExtractAllRun::failAll(const std::string& line) {
    log_(line);
    report_.failed = model_.entryCount();
}

bool ExtractAllRun::prepareFolders() {
    std::string location = c_.extractLocation.string();
    while (location.size() > 1 && location.back() == '/') location.pop_back();
    const std::string locationShown = logText(location);
    if (pathExists(c_.extractLocation)) {
        log_("Extract location already exists " + locationShown);
    } else {
        log_("Making extract location: " + locationShown);
        if (const std::string why = createFolders(c_.extractLocation); !why.empty()) {
            failAll("Cannot create directory " + locationShown + ": " + why);
            return false;
        }
    }
    const std::string archiveFileName = fileNameOf(c_.sFile.string());
    base_ = fs::path(location) / archiveFileName;
    baseShown_ = logText(location + "/" + archiveFileName + "/");
    writer_.emplace(base_, baseShown_);
    std::error_code ec;
    if (!pathExists(base_)) {
        log_("Making directory: " + baseShown_);
        if (const std::string why = createFolders(base_); !why.empty()) {
            failAll("Cannot create directory " + baseShown_ + ": " + why);
            return false;
        }
    } else if (fs::is_directory(base_, ec)) {
        log_(baseShown_ + " already exists or could not be created");
    } else {
        failAll("Cannot create directory " + baseShown_ + ": a file of that name exists");
        return false;
    }
    return true;
}

void ExtractAllRun::directoryPass() {
    const int total = model_.entryCount();
    for (int i = 1; i <= total; ++i) {
        const bool isFolder = i <= model_.folderCount();
        const std::string& name = isFolder ? model_.folders[static_cast<size_t>(i - 1)].path
                                           : model_.fileOf(i).name;
        host_.progress(i, "Making directory: " + name);
        host_.letEventsRun();
        if (host_.stopRequested()) {
            stoppedAt_ = i;
            return;
        }
        if (!isFolder) continue;
        const std::string shown = baseShown_ + withSlashes(name);
        log_("Checking " + shown + "...");
        std::string why;
        const auto relative = safeRelativePath("", name, &why, model_.encoding);
        if (!relative) {
            log_("Skipped " + name + ": unsafe name (" + why + ")");
            ++report_.failed;
            continue;
        }
        const fs::path target = base_ / *relative;
        std::error_code ec;
        if (!pathExists(target)) {
            log_("Making directory: " + shown);
            why = createFolders(target);
        } else if (fs::is_directory(target, ec)) {
            log_("Directory: " + shown + " already exists or could not be created!");
        } else {
            why = "a file of that name exists";
        }
        if (!why.empty()) {
            log_("Cannot create directory " + shown + ": " + why);
            ++report_.failed;
        }
    }
}

FileTarget ExtractAllRun::targetOf(const ArchiveFile& f) const {
    FileTarget t;
    t.shown = baseShown_ + withSlashes(f.folder) + "/" + withSlashes(f.name);
    t.relative = safeRelativePath(f.folder, f.name, &t.refusal, model_.encoding);
    return t;
}

bool ExtractAllRun::announceFile(int i, const FileTarget& target) {
    const ArchiveFile& f = model_.fileOf(i);
    host_.progress(i, "Extracting: " + f.folder + "\\" + f.name);
    log_("Extracting: " + target.shown);
    host_.letEventsRun();
    if (host_.stopRequested()) {
        stoppedAt_ = i;
        return false;
    }
    return true;
}

void ExtractAllRun::filePass() {
    for (int i = model_.folderCount() + 1; i <= model_.entryCount(); ++i) {
        const ArchiveFile& f = model_.fileOf(i);
        const FileTarget target = targetOf(f);
        if (!announceFile(i, target)) return;
        const BusyScope busy(host_);
        if (writer_->write(f, target, archive_, log_, folders_))
            ++report_.written;
        else
            ++report_.failed;
    }
}

// Workers read, inflate and write entries ahead of the window's order; each
// keeps its log lines, which are written in entry order so that the log and
// the host see the same run as with one job.
void ExtractAllRun::filePassParallel() {
    const int first = model_.folderCount() + 1;
    const int count = model_.entryCount() - model_.folderCount();
    struct Slot {
        MemoryLog log;
        bool written = false;
    };
    std::vector<Slot> slots(static_cast<size_t>(count));
    std::vector<FileTarget> targets(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) targets[static_cast<size_t>(k)] = targetOf(model_.fileOf(first + k));

    struct WorkerState {
        FileReader archive;
        bool opened = false;
        KnownFolders folders;
    };
    std::vector<WorkerState> workers(static_cast<size_t>(jobs_));
    for (auto& w : workers) w.opened = w.archive.open(c_.sFile);

    auto produce = [&](int worker, int k) {
        WorkerState& w = workers[static_cast<size_t>(worker)];
        Slot& slot = slots[static_cast<size_t>(k)];
        const ArchiveFile& f = model_.fileOf(first + k);
        try {
            if (w.opened)
                slot.written = writer_->write(f, targets[static_cast<size_t>(k)], w.archive, slot.log, w.folders);
            else
                slot.log("Cannot extract " + f.name + ": cannot open the archive: " + w.archive.error());
        } catch (const std::exception& ex) {
            slot.log("Cannot extract " + f.name + ": " + ex.what());
            slot.written = false;
        }
    };
    auto take = [&](int k) {
        Slot& slot = slots[static_cast<size_t>(k)];
        {
            const BusyScope busy(host_);
            slot.log.replayInto(log_);
        }
        if (slot.written)
            ++report_.written;
        else
            ++report_.failed;
        slot.log.lines = {};
    };
    // Slots hold only log lines, so the window can be wide: a narrow one
    // stalls every worker behind one large entry.
    OrderedPipeline(jobs_, jobs_ * 256)
        .run(count, produce,
             [&](int k) { return announceFile(first + k, targets[static_cast<size_t>(k)]); }, take);
}

ExtractReport ExtractAllRun::run() {
    const int total = model_.entryCount();
    host_.progressStart(std::max(total, 1));
    if (!archive_.open(c_.sFile)) {
        failAll("Cannot open " + logText(c_.sFile.string()) + ": " + archive_.error());
    } else {
        if (prepareFolders()) {
            log_("Starting directory creation for " + std::to_string(total) + " entries.....");
            directoryPass();
            if (stoppedAt_ == 0) {
                log_("Finished making directories");
                log_("Starting file extraction...");
                if (jobs_ > 1 && total > model_.folderCount())
                    filePassParallel();
                else
                    filePass();
            }
        }
    }
    archive_.close();
    host_.progressEnd();

    report_.stopped = stoppedAt_ != 0;
    if (report_.stopped)
        report_.summary = "Extract stopped before entry " + std::to_string(stoppedAt_) + " of " +
                          std::to_string(total);
    if (report_.failed > 0) {
        report_.summary += std::string(report_.summary.empty() ? "" : "; ") +
                           std::to_string(report_.failed) + " of " + std::to_string(total) +
                           " entries could not be extracted";
    }
    if (!report_.summary.empty()) {
        log_(utf8ToCp1252(report_.summary));
        host_.status(utf8ToCp1252(report_.summary));
    }
    if (!report_.stopped) log_("Extract finished!");
    return report_;
}

} // namespace

ExtractReport extractAll(const ExtractContext& context, const ExtractAllOptions& options) {
    ExtractAllRun run(context, options);
    return run.run();
}

} // namespace sga
