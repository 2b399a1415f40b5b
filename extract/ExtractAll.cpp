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
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <cstdint>
#include <unordered_map>

namespace sga {
namespace {

namespace fs = std::filesystem;

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Where one file entry goes.
struct FileTarget {
    std::string shown;                    // the log's "Extracting: " target (8-bit)
    std::optional<fs::path> relative;     // below extractBase (renamed); empty when refused
    std::string refusal;
    bool plainEmpty = false;              // written empty without reading
    std::string keptName;                 // the log line when the renaming was dropped
    int after = -1;                       // every entry up to this one is written before this one
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

// The folder of the last file a worker wrote, kept open for the next file
// in the same folder.
class FolderCache {
public:
    explicit FolderCache(const Folder& base) : base_(base) {}
    Expected<const Folder*> open(const fs::path& relative) {
        if (relative.empty()) return &base_;
        if (held_.isOpen() && heldPath_ == relative) return &held_;
        Expected<Folder> folder = openFolderBelow(base_, relative, true);
        if (!folder) {
            held_ = Folder();
            return folder.status();
        }
        held_ = std::move(*folder);
        heldPath_ = relative;
        return &held_;
    }

private:
    const Folder& base_;
    Folder held_;
    fs::path heldPath_;
};

// What became of one file entry.
struct EntryOutcome {
    bool written = false;
    bool stopped = false;      // interrupted or given up: nothing of it is left
    bool noSpace = false;
    std::string reason;        // why it was not written (UTF-8)
};

// Pieces of a buffer held whole are written at most this large, so that an
// interruption is seen between them.
constexpr size_t kWritePiece = size_t{1} << 20;

// Run-wide stops seen by every worker.
class RunStops {
public:
    explicit RunStops(std::function<bool()> interrupted) : interrupted_(std::move(interrupted)) {}
    bool interrupted() const { return interrupted_ && interrupted_(); }
    // Entry k has no future: the run was interrupted, or an earlier entry found the disk full.
    bool givesUp(int k) const { return interrupted() || noSpaceAt_.load() < k; }
    void noSpaceAt(int k) {
        int seen = noSpaceAt_.load();
        while (k < seen && !noSpaceAt_.compare_exchange_weak(seen, k)) {
        }
    }

private:
    std::function<bool()> interrupted_;
    std::atomic<int> noSpaceAt_{INT32_MAX};
};

// Reads and writes one file entry; logs what went wrong.
class FileEntryWriter {
public:
    FileEntryWriter(const Folder& base, const std::string& baseShown, RunStops& stops)
        : base_(base), baseShown_(baseShown), stops_(stops) {}

    // waitTurn runs before the file takes its name.
    EntryOutcome write(int k, const ArchiveFile& f, const FileTarget& target, FileReader& archive, LogSink& log,
                       FolderCache& folders, const std::function<void()>& waitTurn) const {
        EntryOutcome o;
        if (!target.relative) {
            log("Skipped " + f.path() + ": unsafe name (" + target.refusal + ")");
            o.reason = "unsafe name (" + target.refusal + ")";
            return o;
        }
        if (!target.keptName.empty()) log(target.keptName);
        const fs::path& relative = *target.relative;
        const std::string shown = baseShown_ + logText(relative.string());
        Expected<const Folder*> folder = folders.open(relative.parent_path());
        OutputFile out;
        Status writing;
        if (folder) writing = out.open(**folder, relative.filename().string());
        bool myNoSpace = false, givenUp = false;
        auto sink = [&](const uint8_t* data, size_t size) {
            if (stops_.givesUp(k)) {
                givenUp = true;
                return false;
            }
            if (!folder || !writing) return true;
            writing = out.write(data, size);
            if (!writing && out.lastError() == ENOSPC) {
                myNoSpace = true;
                stops_.noSpaceAt(k);
                return false;   // no use decoding the rest
            }
            return true;
        };
        int16_t result = 0;
        if (!target.plainEmpty) {
            // Held whole or streamed as the reader decides; either way the
            // writes go in pieces, so a stop is seen between them.
            EntryReader reader(archive, log);
            const Status read = reader.stream(f, [&](const uint8_t* data, size_t size) {
                for (size_t at = 0; at < size; at += kWritePiece)
                    if (!sink(data + at, std::min(kWritePiece, size - at))) return false;
                return true;
            });
            result = read ? kEntryOk : reader.result();
        }
        if (givenUp || (target.plainEmpty && stops_.givesUp(k))) {
            o.stopped = true;
            return o;
        }
        if (result != 0 && !myNoSpace) {
            log("Cannot extract " + f.path() + ": " + describeEntryFailure(f, result));
            o.reason = describeEntryFailure(f, result);
            return o;
        }
        if (!target.plainEmpty && !myNoSpace) log("result 0");
        if (!folder) {
            log("Cannot create directory " + baseShown_ + logText(relative.parent_path().string()) + ": " +
                logText(folder.message()));
            o.reason = "cannot create its folder: " + folder.message();
            return o;
        }
        if (writing) {
            if (waitTurn) waitTurn();
            writing = out.commit();
        }
        if (!writing) {
            out.abandon();
            log("Cannot write " + shown + ": " + logText(writing.message()));
            o.reason = writing.message();
            o.noSpace = out.lastError() == ENOSPC;
            if (o.noSpace) stops_.noSpaceAt(k);
            return o;
        }
        o.written = true;
        return o;
    }

private:
    const Folder& base_;
    std::string baseShown_;
    RunStops& stops_;
};

class ExtractAllRun {
public:
    ExtractAllRun(const ExtractContext& context, const ExtractAllOptions& options)
        : c_(context), model_(context.model), log_(context.log), host_(context.host),
          jobs_(std::max(1, options.jobs)), foldsCase_(options.foldsCase), stops_(options.interrupted) {}

    ExtractReport run();

private:
    bool prepareFolders();
    void directoryPass();
    void planTargets();
    void filePass();
    void filePassParallel();
    // Progress, status label and the "Extracting: " line of file entry i;
    // false when the run stops.
    bool announceFile(int i, const FileTarget& target);
    void tally(int i, const EntryOutcome& outcome);
    void failAll(const std::string& line, const std::string& reason);
    std::string pathOf(const ArchiveFile& f) const { return modelTextToUtf8(model_, f.path()); }

    const ExtractContext& c_;
    const ArchiveModel& model_;
    LogSink& log_;
    ReportSink& host_;
    int jobs_;
    std::optional<bool> foldsCase_;
    RunStops stops_;
    FileReader archive_;
    Folder location_;
    Folder base_;
    std::string baseShown_;
    std::optional<FileEntryWriter> writer_;
    std::vector<FileTarget> targets_;   // per file entry
    ExtractReport report_;
    int stoppedAt_ = 0;
};

void ExtractAllRun::failAll(const std::string& line, const std::string& reason) {
    log_(line);
    report_.failed = model_.entryCount();
    report_.failures = {{fileNameOf(c_.sFile.string()), reason}};
}

bool ExtractAllRun::prepareFolders() {
    std::string location = c_.extractLocation.string();
    while (location.size() > 1 && location.back() == '/') location.pop_back();
    const std::string locationShown = logText(location);
    const bool existed = pathExists(c_.extractLocation);
    log_(existed ? "Extract location already exists " + locationShown : "Making extract location: " + locationShown);
    // The location is the user's: a link there is followed.
    Expected<Folder> opened = openUserFolder(c_.extractLocation, !existed);
    if (!opened) {
        failAll("Cannot create directory " + locationShown + ": " + opened.message(),
                "cannot create " + location + ": " + opened.message());
        return false;
    }
    location_ = std::move(*opened);
    const std::string archiveFileName = fileNameOf(c_.sFile.string());
    baseShown_ = logText(location + "/" + archiveFileName + "/");
    const NodeKind kind = nodeKindIn(location_, archiveFileName);
    if (kind == NodeKind::Missing) {
        log_("Making directory: " + baseShown_);
    } else if (kind == NodeKind::Folder) {
        log_(baseShown_ + " already exists or could not be created");
    }
    // The folder named after the archive is this run's: never a link.
    Expected<Folder> base = openFolderBelow(location_, archiveFileName, true);
    if (!base) {
        report_.targetTaken = kind == NodeKind::File || kind == NodeKind::Other;
        failAll("Cannot create directory " + baseShown_ + ": " + logText(base.message()),
                "cannot create the folder " + location + "/" + archiveFileName + ": " + base.message());
        return false;
    }
    base_ = std::move(*base);
    writer_.emplace(base_, baseShown_, stops_);
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
        if (host_.stopRequested() || stops_.interrupted()) {
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
            report_.addFailure(modelTextToUtf8(model_, name), "unsafe name (" + why + ")");
            continue;
        }
        bool made = false;
        Expected<Folder> folder = openFolderBelow(base_, *relative, true, &made);
        if (!folder) {
            log_("Cannot create directory " + shown + ": " + logText(folder.message()));
            report_.addFailure(modelTextToUtf8(model_, name), "cannot create the folder: " + folder.message());
        } else if (made) {
            log_("Making directory: " + shown);
        } else {
            log_("Directory: " + shown + " already exists or could not be created!");
        }
    }
}

// Each file's path below the base: safe, renamed where the renaming lands
// on no other entry's path, and ordered after every earlier entry whose path
// it shares (as a file or as a folder on the way).
void ExtractAllRun::planTargets() {
    const int first = model_.folderCount() + 1;
    const int count = model_.entryCount() - model_.folderCount();
    const bool folds = foldsCase_ ? *foldsCase_ : foldsLetterCase(base_);
    auto key = [folds](const std::string& path) { return folds ? asciiLower(path) : path; };
    targets_.assign(static_cast<size_t>(count), {});
    std::vector<std::string> natural(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        const ArchiveFile& f = model_.fileOf(first + k);
        FileTarget& t = targets_[static_cast<size_t>(k)];
        t.shown = baseShown_ + withSlashes(f.folder) + "/" + withSlashes(f.name);
        t.relative = safeRelativePath(f.folder, f.name, &t.refusal, model_.encoding);
        t.plainEmpty = isPlainEmptyEntry(f, archive_.size());
        if (!t.relative) continue;
        natural[static_cast<size_t>(k)] = t.relative->string();
        // Only below extractBase: the folders above it are not the archive's.
        if (!t.plainEmpty) t.relative = replaceAll(natural[static_cast<size_t>(k)], ".fda", ".aifr");
    }
    // A renaming that lands on a path another entry writes is dropped. (A
    // dropped one keeps ".fda", which no renamed path holds, so one more
    // round settles every case.)
    for (int round = 0; round < 3; ++round) {
        std::unordered_map<std::string, std::vector<int>> at;
        for (int k = 0; k < count; ++k)
            if (targets_[static_cast<size_t>(k)].relative)
                at[key(targets_[static_cast<size_t>(k)].relative->string())].push_back(k);
        bool changed = false;
        for (int k = 0; k < count; ++k) {
            FileTarget& t = targets_[static_cast<size_t>(k)];
            const std::string& own = natural[static_cast<size_t>(k)];
            if (!t.relative || t.relative->string() == own) continue;
            const auto& sharing = at[key(t.relative->string())];
            const bool taken = std::any_of(sharing.begin(), sharing.end(), [&](int j) {
                return key(natural[static_cast<size_t>(j)]) != key(own);
            });
            if (!taken) continue;
            t.keptName = "Kept the name " + baseShown_ + logText(own) + ": " + baseShown_ +
                         logText(t.relative->string()) + " is the path of another entry";
            t.relative = own;
            changed = true;
        }
        if (!changed) break;
    }
    // Entries that meet on a path are written in archive order.
    std::unordered_map<std::string, int> lastFile, lastBelow;
    for (int k = 0; k < count; ++k) {
        FileTarget& t = targets_[static_cast<size_t>(k)];
        if (!t.relative) continue;
        const std::string own = key(t.relative->string());
        auto latest = [&](const std::unordered_map<std::string, int>& map, const std::string& path) {
            const auto it = map.find(path);
            if (it != map.end()) t.after = std::max(t.after, it->second);
        };
        latest(lastFile, own);
        latest(lastBelow, own);
        for (fs::path up = t.relative->parent_path(); !up.empty(); up = up.parent_path()) {
            latest(lastFile, key(up.string()));
            lastBelow[key(up.string())] = k;
        }
        lastFile[own] = k;
    }
}

bool ExtractAllRun::announceFile(int i, const FileTarget& target) {
    const ArchiveFile& f = model_.fileOf(i);
    host_.progress(i, "Extracting: " + f.folder + "\\" + f.name);
    log_("Extracting: " + target.shown);
    host_.letEventsRun();
    if (host_.stopRequested() || stops_.interrupted() || report_.noSpace) {
        stoppedAt_ = i;
        return false;
    }
    return true;
}

void ExtractAllRun::tally(int i, const EntryOutcome& outcome) {
    if (outcome.written) {
        ++report_.written;
    } else if (outcome.stopped) {
        stoppedAt_ = i;
    } else {
        report_.addFailure(pathOf(model_.fileOf(i)), outcome.reason);
        if (outcome.noSpace) report_.noSpace = true;
    }
}

void ExtractAllRun::filePass() {
    FolderCache folders(base_);
    for (int i = model_.folderCount() + 1; i <= model_.entryCount(); ++i) {
        const ArchiveFile& f = model_.fileOf(i);
        const int k = i - model_.folderCount() - 1;
        const FileTarget& target = targets_[static_cast<size_t>(k)];
        if (!announceFile(i, target)) return;
        const BusyScope busy(host_);
        tally(i, writer_->write(k, f, target, archive_, log_, folders, {}));
        if (stoppedAt_ != 0 || report_.noSpace) return;
    }
}

// Workers read, inflate and write entries ahead of the window's order; each
// keeps its log lines, which are written in entry order so that the log and
// the host see the same run as with one job. Entries that share a path wait
// for the earlier ones, so the files end as with one job too.
void ExtractAllRun::filePassParallel() {
    const int first = model_.folderCount() + 1;
    const int count = model_.entryCount() - model_.folderCount();
    struct Slot {
        MemoryLog log;
        EntryOutcome outcome;
    };
    std::vector<Slot> slots(static_cast<size_t>(count));

    std::mutex finishedMutex;
    std::condition_variable finishedChanged;
    std::vector<char> finished(static_cast<size_t>(count), 0);
    int finishedBefore = 0;   // every entry below it is finished

    struct WorkerState {
        FileReader archive;
        bool opened = false;
        std::optional<FolderCache> folders;
    };
    std::vector<WorkerState> workers(static_cast<size_t>(jobs_));
    for (auto& w : workers) {
        w.opened = w.archive.open(c_.sFile);
        w.folders.emplace(base_);
    }

    auto produce = [&](int worker, int k) {
        WorkerState& w = workers[static_cast<size_t>(worker)];
        Slot& slot = slots[static_cast<size_t>(k)];
        const ArchiveFile& f = model_.fileOf(first + k);
        const FileTarget& target = targets_[static_cast<size_t>(k)];
        auto waitTurn = [&] {
            if (target.after < 0) return;
            std::unique_lock lock(finishedMutex);
            finishedChanged.wait(lock, [&] { return finishedBefore > target.after; });
        };
        try {
            if (stops_.givesUp(k))
                slot.outcome.stopped = true;
            else if (w.opened)
                slot.outcome = writer_->write(k, f, target, w.archive, slot.log, *w.folders, waitTurn);
            else {
                slot.log("Cannot extract " + f.name + ": cannot open the archive: " + w.archive.error());
                slot.outcome.reason = "cannot open the archive: " + w.archive.error();
            }
        } catch (const std::exception& ex) {
            slot.log("Cannot extract " + f.name + ": " + ex.what());
            slot.outcome = {};
            slot.outcome.reason = ex.what();
        }
        {
            std::lock_guard lock(finishedMutex);
            finished[static_cast<size_t>(k)] = 1;
            while (finishedBefore < count && finished[static_cast<size_t>(finishedBefore)]) ++finishedBefore;
        }
        finishedChanged.notify_all();
    };
    auto take = [&](int k) {
        Slot& slot = slots[static_cast<size_t>(k)];
        {
            const BusyScope busy(host_);
            slot.log.replayInto(log_);
        }
        tally(first + k, slot.outcome);
        slot.log.lines = {};
    };
    // Slots hold only log lines, so the window can be wide: a narrow one
    // stalls every worker behind one large entry.
    OrderedPipeline(jobs_, jobs_ * 256)
        .run(count, produce,
             [&](int k) {
                 return stoppedAt_ == 0 && !report_.noSpace && announceFile(first + k, targets_[static_cast<size_t>(k)]);
             },
             take);
}

ExtractReport ExtractAllRun::run() {
    const int total = model_.entryCount();
    host_.progressStart(std::max(total, 1));
    if (!archive_.open(c_.sFile)) {
        failAll("Cannot open " + logText(c_.sFile.string()) + ": " + archive_.error(),
                "cannot open the archive: " + archive_.error());
    } else {
        if (prepareFolders()) {
            log_("Starting directory creation for " + std::to_string(total) + " entries.....");
            directoryPass();
            if (stoppedAt_ == 0) {
                log_("Finished making directories");
                log_("Starting file extraction...");
                planTargets();
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
    if (report_.noSpace)
        report_.summary = "No space left on device: extraction stopped after " + std::to_string(report_.written) +
                          " of " + std::to_string(total) + " entries";
    else if (report_.stopped)
        report_.summary = "Extract stopped before entry " + std::to_string(stoppedAt_) + " of " +
                          std::to_string(total);
    if (report_.failed > 0 && !report_.noSpace) {
        report_.summary += std::string(report_.summary.empty() ? "" : "; ") +
                           std::to_string(report_.failed) + " of " + std::to_string(total) +
                           " entries could not be extracted";
    }
    if (!report_.summary.empty()) {
        log_(utf8ToCp1252(report_.summary));
        host_.status(utf8ToCp1252(report_.summary));
    }
    if (!report_.stopped && !report_.noSpace) log_("Extract finished!");
    return report_;
}

} // namespace

ExtractReport extractAll(const ExtractContext& context, const ExtractAllOptions& options) {
    ExtractAllRun run(context, options);
    return run.run();
}

} // namespace sga
