// Extract all: every directory, then every file, under
// extractLocation/<archive file name>/.
#include "extract/Extract.h"

#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "core/WindowHost.h"
#include "archive/modSGA.h"
#include "extract/EntryData.h"
#include "extract/OutputFiles.h"
#include "extract/SafePath.h"
#include "core/ActivityLog.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

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

// An entry of orgSize 0 is written as an empty file without reading it, as
// long as nothing says otherwise: its block and stored bytes lie inside the
// archive, and an uncompressed entry stores no bytes. Any other entry is read.
bool isPlainEmptyEntry(const FileEntry& e, int64_t archiveSize) {
    if (e.orgSize != 0 || e.filePos < 0 || e.compSize < -1) return false;
    if (int64_t{e.filePos} + kDataBlockSize + e.compSize + 1 > archiveSize) return false;
    return e.null != 0 || e.compSize == -1;
}

// Reads and writes one file entry; logs what went wrong. True when written.
class FileEntryWriter {
public:
    FileEntryWriter(const fs::path& base, const std::string& baseShown)
        : base_(base), baseShown_(baseShown) {}

    bool write(const FileEntry& e, const FileTarget& target, FileReader& archive,
               std::vector<uint8_t>& buffer, LogSink& log) const {
        const std::string archivePath = e.dirName.empty() ? e.name : e.dirName + "\\" + e.name;
        if (!target.relative) {
            log("Skipped " + archivePath + ": unsafe name (" + target.refusal + ")");
            return false;
        }
        fs::path relative = *target.relative;
        const uint8_t* data = nullptr;
        size_t size = 0;
        if (!isPlainEmptyEntry(e, archive.size())) {
            if (!archive.seek(e.filePos)) {
                log("Cannot extract " + archivePath + ": its data block at offset " +
                    std::to_string(e.filePos) + " lies outside the archive");
                return false;
            }
            const int16_t result = readEntryData(e, archive, log, buffer);
            if (result != 0) {
                log("Cannot extract " + archivePath + ": " + describeEntryResult(result));
                return false;
            }
            log("result 0");
            // Only below extractBase: the folders above it are not the archive's.
            relative = replaceAll(relative.string(), ".fda", ".aifr");
            data = buffer.data();
            size = buffer.size();
        }
        const fs::path path = base_ / relative;
        const std::string shown = baseShown_ + logText(relative.string());
        if (std::error_code ec; !fs::is_directory(path.parent_path(), ec)) {
            const std::string why = createFolders(path.parent_path());
            if (!why.empty()) {
                log("Cannot create directory " + logText(path.parent_path().string()) + ": " + why);
                return false;
            }
        }
        const std::string why = writeWholeFile(path, data, size);
        if (!why.empty()) {
            log("Cannot write " + shown + ": " + why);
            return false;
        }
        return true;
    }

private:
    fs::path base_;
    std::string baseShown_;
};

class ExtractAllRun {
public:
    ExtractAllRun(const ExtractContext& context, const ExtractAllOptions& options)
        : c_(context), idx_(context.index), log_(context.log), host_(context.host),
          jobs_(std::max(1, options.jobs)) {}

    ExtractReport run();

private:
    bool prepareFolders();
    void directoryPass();
    void filePass();
    void filePassParallel();
    FileTarget targetOf(const FileEntry& e) const;
    // Progress, status label and the "Extracting: " line of file entry i;
    // false when the host asks to stop.
    bool announceFile(int i, const FileTarget& target);
    void failAll(const std::string& line);

    const ExtractContext& c_;
    const ArchiveIndex& idx_;
    LogSink& log_;
    WindowHost& host_;
    int jobs_;
    FileReader archive_;
    fs::path base_;
    std::string baseShown_;
    std::optional<FileEntryWriter> writer_;
    ExtractReport report_;
    int stoppedAt_ = 0;
};

void ExtractAllRun::failAll(const std::string& line) {
    log_(line);
    report_.failed = idx_.totalEntries();
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
    const int total = idx_.totalEntries();
    for (int i = 1; i <= total; ++i) {
        const FileEntry& e = idx_.entries[static_cast<size_t>(i - 1)];
        host_.setProgressValue(i);
        host_.setProgressLabel("Making directory: " + e.name);
        host_.processEvents();
        if (host_.stopRequested()) {
            stoppedAt_ = i;
            return;
        }
        if (i > idx_.dirCount()) continue;
        const std::string shown = baseShown_ + withSlashes(e.name);
        log_("Checking " + shown + "...");
        std::string why;
        const auto relative = safeRelativePath("", e.name, &why);
        if (!relative) {
            log_("Skipped " + e.name + ": unsafe name (" + why + ")");
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

FileTarget ExtractAllRun::targetOf(const FileEntry& e) const {
    FileTarget t;
    t.shown = baseShown_ + withSlashes(e.dirName) + "/" + withSlashes(e.name);
    t.relative = safeRelativePath(e.dirName, e.name, &t.refusal);
    return t;
}

bool ExtractAllRun::announceFile(int i, const FileTarget& target) {
    const FileEntry& e = idx_.entries[static_cast<size_t>(i - 1)];
    host_.setProgressValue(i);
    host_.setProgressLabel("Extracting: " + e.dirName + "\\" + e.name);
    log_("Extracting: " + target.shown);
    host_.processEvents();
    if (host_.stopRequested()) {
        stoppedAt_ = i;
        return false;
    }
    return true;
}

void ExtractAllRun::filePass() {
    for (int i = idx_.dirCount() + 1; i <= idx_.totalEntries(); ++i) {
        const FileEntry& e = idx_.entries[static_cast<size_t>(i - 1)];
        const FileTarget target = targetOf(e);
        if (!announceFile(i, target)) return;
        host_.setBusy(true);
        if (writer_->write(e, target, archive_, entryBuffer, log_))
            ++report_.written;
        else
            ++report_.failed;
        host_.setBusy(false);
    }
}

// Workers read, inflate and write entries ahead of the window's order; each
// keeps its log lines, which are written in entry order so that the log and
// the host see the same run as with one job.
void ExtractAllRun::filePassParallel() {
    const int first = idx_.dirCount() + 1;
    const int count = idx_.totalEntries() - idx_.dirCount();
    struct Slot {
        MemoryLog log;
        bool written = false;
        bool done = false;
    };
    std::vector<Slot> slots(static_cast<size_t>(count));
    std::vector<FileTarget> targets(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k)
        targets[static_cast<size_t>(k)] = targetOf(idx_.entries[static_cast<size_t>(first + k - 1)]);

    // Workers wait on roomFree when they are a window ahead of the window's
    // side; it waits on slotReady for the entry it shows next. Each side is
    // woken only when the other is actually waiting.
    std::mutex mutex;
    std::condition_variable roomFree, slotReady;
    int next = 0, consumed = 0, waitingFor = -1, workersWaiting = 0;
    bool abort = false;
    // Slots hold only log lines, so the window can be wide: a narrow one
    // stalls every worker behind one large entry.
    const int window = jobs_ * 256;

    auto worker = [&] {
        FileReader archive;
        const bool opened = archive.open(c_.sFile);
        std::vector<uint8_t> buffer;
        while (true) {
            int k = 0;
            {
                std::unique_lock lock(mutex);
                ++workersWaiting;
                roomFree.wait(lock, [&] { return abort || next >= count || next < consumed + window; });
                --workersWaiting;
                if (abort || next >= count) return;
                k = next++;
            }
            Slot& slot = slots[static_cast<size_t>(k)];
            const FileEntry& e = idx_.entries[static_cast<size_t>(first + k - 1)];
            try {
                if (opened)
                    slot.written = writer_->write(e, targets[static_cast<size_t>(k)], archive, buffer, slot.log);
                else
                    slot.log("Cannot extract " + e.name + ": cannot open the archive: " + archive.error());
            } catch (const std::exception& ex) {
                slot.log("Cannot extract " + e.name + ": " + ex.what());
                slot.written = false;
            }
            bool wake = false;
            {
                std::lock_guard lock(mutex);
                slot.done = true;
                wake = waitingFor == k;
            }
            if (wake) slotReady.notify_one();
        }
    };
    std::vector<std::thread> threads;
    auto stopWorkers = [&] {
        {
            std::lock_guard lock(mutex);
            abort = true;
        }
        roomFree.notify_all();
        for (auto& t : threads) t.join();
    };
    for (int j = 0; j < jobs_; ++j) threads.emplace_back(worker);

    try {
        for (int k = 0; k < count; ++k) {
            if (!announceFile(first + k, targets[static_cast<size_t>(k)])) break;
            Slot& slot = slots[static_cast<size_t>(k)];
            {
                std::unique_lock lock(mutex);
                waitingFor = k;
                slotReady.wait(lock, [&] { return slot.done; });
                waitingFor = -1;
            }
            host_.setBusy(true);
            slot.log.replayInto(log_);
            host_.setBusy(false);
            if (slot.written)
                ++report_.written;
            else
                ++report_.failed;
            slot.log.lines = {};
            bool wake = false;
            {
                std::lock_guard lock(mutex);
                consumed = k + 1;
                wake = workersWaiting > 0;
            }
            if (wake) roomFree.notify_all();
        }
    } catch (...) {
        stopWorkers();
        throw;
    }
    stopWorkers();
}

ExtractReport ExtractAllRun::run() {
    host_.setExtractingLayout(true);
    host_.setExtractionEnabled(false);
    const int total = idx_.totalEntries();
    if (!archive_.open(c_.sFile)) {
        failAll("Cannot open " + logText(c_.sFile.string()) + ": " + archive_.error());
    } else {
        // Every file entry is read after its own seek; this one only puts the
        // archive where the names begin.
        (void)archive_.seek(int64_t{idx_.nameTablePos} - 1);
        if (prepareFolders()) {
            host_.setProgressMax(std::max(total, 1));
            log_("Starting directory creation for " + std::to_string(total) + " entries.....");
            directoryPass();
            if (stoppedAt_ == 0) {
                log_("Finished making directories");
                log_("Starting file extraction...");
                if (jobs_ > 1 && total > idx_.dirCount())
                    filePassParallel();
                else
                    filePass();
            }
        }
    }
    archive_.close();
    host_.setExtractingLayout(false);
    host_.setExtractionEnabled(true);

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
        host_.setStatusText(utf8ToCp1252(report_.summary));
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
