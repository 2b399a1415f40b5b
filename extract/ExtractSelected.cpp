// Extract selected: one file beside the archive, or one directory under the
// data folder.
#include "extract/Extract.h"

#include "archive/ArchiveTree.h"
#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "core/ReportSink.h"
#include "extract/EntryReader.h"
#include "extract/OutputFiles.h"
#include "extract/SafePath.h"
#include "core/ActivityLog.h"
#include "archive/modSGA.h"

namespace sga {
namespace {

namespace fs = std::filesystem;

// Opens the folder relative below base, making it when missing (logging
// "Making directory: " + logged) without following a link below base.
// The folder, or the line that says why not.
Expected<Folder> makeFolderOrSayWhy(const Folder& base, const fs::path& relative, const std::string& shown,
                                    const std::string& logged, LogSink& log) {
    bool made = false;
    Expected<Folder> folder = openFolderBelow(base, relative, true, &made);
    if (made) log("Making directory: " + logged);
    if (!folder) return Status::error("Cannot create directory " + shown + ": " + logText(folder.message()));
    return folder;
}

// The folder the user (or the archive's place) names: a link there is followed.
Expected<Folder> openBaseOrSayWhy(const fs::path& folder, bool create, const std::string& shown) {
    Expected<Folder> opened = openUserFolder(folder.empty() ? fs::path(".") : folder, create);
    if (!opened) return Status::error("Cannot create directory " + shown + ": " + logText(opened.message()));
    return opened;
}

// What writing one entry came to: empty, or the line to log; a folder that
// could not be made has been logged by makeFolder already.
struct EntryWrite {
    std::string problem;
    bool folderFailed = false;
    bool ok() const { return problem.empty() && !folderFailed; }
};

// Reads f through a handle of its own on the archive, logs "result 0" and
// writes the bytes as name in the folder makeFolder opens (null: it could
// not, and said why). An entry held whole is read before its folder is
// made; one too large to hold goes to the file as it decodes, its folder
// made first.
EntryWrite readAndWrite(const ExtractContext& c, const ArchiveFile& f, const fs::path& target,
                        const std::function<const Folder*()>& makeFolder) {
    FileReader archive;
    if (!archive.open(c.sFile)) return {"Cannot open " + logText(c.sFile.string()) + ": " + archive.error()};
    EntryReader reader(archive, c.log);
    const std::string name = target.filename().string();
    const auto cannotExtract = [&](const Status& why) { return EntryWrite{"Cannot extract " + f.name + ": " + why.message()}; };
    const auto cannotWrite = [&](const Status& why) {
        return EntryWrite{"Cannot write " + logText(target.string()) + ": " + logText(why.message())};
    };
    if (EntryReader::holdsWhole(f)) {
        const Expected<EntryBytes> bytes = reader.read(f);
        if (!bytes) return cannotExtract(bytes.status());
        c.log("result 0");
        const Folder* folder = makeFolder();
        if (!folder) return {{}, true};
        if (Status written = writeWholeFileIn(*folder, name, bytes->data(), bytes->size()); !written)
            return cannotWrite(written);
        return {};
    }
    const Folder* folder = makeFolder();
    if (!folder) return {{}, true};
    OutputFile out;
    if (Status opened = out.open(*folder, name); !opened) return cannotWrite(opened);
    Status wrote;
    const Status read = reader.stream(f, [&](const uint8_t* data, size_t size) {
        wrote = out.write(data, size);
        return wrote.ok();
    });
    if (!wrote || !read) {
        out.abandon();
        return !wrote ? cannotWrite(wrote) : cannotExtract(read);
    }
    c.log("result 0");
    if (Status committed = out.commit(); !committed) {
        out.abandon();
        return cannotWrite(committed);
    }
    return {};
}

class ExtractSelectedRun {
public:
    explicit ExtractSelectedRun(const ExtractContext& context)
        : c_(context), log_(context.log) {}

    ExtractReport run(const std::string& nodeKey, const std::string& nodeText);

private:
    void extractDirectory(const std::string& path);
    void extractFile(int64_t number, const std::string& nodeText);
    void writeEntry(const ArchiveFile& f, const fs::path& relative);
    bool fail(const std::string& line) {
        log_(line);
        report_.failed = 1;
        report_.summary = cp1252ToUtf8(line);
        return false;
    }
    const ExtractContext& c_;
    LogSink& log_;
    Folder dataFolder_;
    ExtractReport report_;
};

ExtractReport ExtractSelectedRun::run(const std::string& nodeKey, const std::string& nodeText) {
    if (nodeKey.empty()) return report_;
    const NodeRef ref = decodeNodeKey(nodeKey);
    if (ref.kind == NodeRef::Kind::Root) return report_;

    std::string location = c_.extractLocation.string();
    while (location.size() > 1 && location.back() == '/') location.pop_back();
    const std::string dataShown = logText(location + "/Data/");
    Expected<Folder> locationFolder = pathExists(c_.extractLocation)
                                          ? openBaseOrSayWhy(c_.extractLocation, false, dataShown)
                                          : Expected<Folder>(Status::error("missing"));
    if (!locationFolder) {
        // A location that is missing is made with the data folder.
        locationFolder = openBaseOrSayWhy(c_.extractLocation, true, dataShown);
        if (!locationFolder) {
            fail(locationFolder.message());
            return report_;
        }
    }
    Expected<Folder> data = makeFolderOrSayWhy(*locationFolder, "Data", dataShown, dataShown, log_);
    if (!data) {
        fail(data.message());
        return report_;
    }
    dataFolder_ = std::move(*data);

    if (ref.kind == NodeRef::Kind::Directory)
        extractDirectory(ref.path);
    else
        extractFile(ref.entryNumber, nodeText);
    return report_;
}

void ExtractSelectedRun::extractDirectory(const std::string& path) {
    std::string why;
    const auto relative = safeRelativePath("", path, &why, c_.model.encoding);
    if (!relative) {
        fail("Skipped " + path + ": unsafe name (" + why + ")");
        return;
    }
    const std::string location = c_.extractLocation.string();
    const std::string shown = logText(location + (location.empty() || location.back() == '/' ? "" : "/") +
                                      "Data/" + relative->string());
    if (Expected<Folder> folder = makeFolderOrSayWhy(dataFolder_, *relative, shown, path, log_); !folder)
        fail(folder.message());
}

void ExtractSelectedRun::extractFile(int64_t number, const std::string& nodeText) {
    log_("Decompressing: " + nodeText);
    if (!c_.model.isFileNumber(number)) {
        fail("Cannot extract " + nodeText + ": the archive has no file entry " +
             std::to_string(number));
        return;
    }
    const ArchiveFile& f = c_.model.fileOf(number);
    std::string why;
    const auto relative = safeRelativePath(f.folder, f.name, &why, c_.model.encoding);
    if (!relative) {
        fail("Skipped " + f.path() + ": unsafe name (" + why + ")");
        return;
    }
    const BusyScope busy(c_.host);
    writeEntry(f, *relative);
}

void ExtractSelectedRun::writeEntry(const ArchiveFile& f, const fs::path& relative) {
    const std::string archiveFolder = folderOf(c_.sFile.string());
    const fs::path target = (archiveFolder.empty() ? fs::path(".") : fs::path(archiveFolder)) / relative;
    const std::string folderShown = logText(archiveFolder) + withSlashes(f.folder);
    Expected<Folder> base = openBaseOrSayWhy(archiveFolder, false, folderShown);
    if (!base) {
        fail(base.message());
        return;
    }
    Expected<Folder> folder = Status::error("not made yet");
    const EntryWrite written = readAndWrite(c_, f, target, [&]() -> const Folder* {
        folder = makeFolderOrSayWhy(*base, relative.parent_path(), folderShown, folderShown, log_);
        if (!folder) {
            fail(folder.message());
            return nullptr;
        }
        return &*folder;
    });
    if (!written.problem.empty()) fail(written.problem);
    if (written.ok()) report_.written = 1;
}

} // namespace

ExtractReport extractSelected(const ExtractContext& context, const std::string& nodeKey,
                              const std::string& nodeText) {
    ExtractSelectedRun run(context);
    return run.run(nodeKey, nodeText);
}

} // namespace sga

// ---------------------------------------------------------------- several nodes

namespace sga {
namespace {

namespace fs = std::filesystem;

// What a node stands for: the root (every file), a folder (the files at or
// below its path) or one file.
struct Pick {
    enum class Kind { Root, Folder, File } kind = Kind::Root;
    std::string path;       // folder path, or the file's archive path
    int64_t number = 0;     // files
    std::string text;
};

bool under(const std::string& path, const std::string& folder) {
    if (folder.empty()) return true;
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '\\';
}

bool covers(const Pick& outer, const Pick& inner) {
    if (outer.kind == Pick::Kind::Root) return inner.kind != Pick::Kind::Root;
    if (outer.kind != Pick::Kind::Folder) return false;
    if (inner.kind == Pick::Kind::Root) return false;
    return under(inner.path, outer.path) && !(inner.kind == Pick::Kind::Folder && inner.path == outer.path);
}

std::string lastPart(const std::string& path) {
    const auto sep = path.rfind('\\');
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

class ExtractSelectionRun {
public:
    ExtractSelectionRun(const ExtractContext& context, const ExtractSelectionOptions& options)
        : c_(context), options_(options), log_(context.log) {}

    SelectionReport run(const std::vector<SelectedNode>& nodes);

private:
    void extractPick(const Pick& pick);
    // The archive path below the written base for a file or folder path,
    // starting at the selected node when asked to.
    std::string relativeFor(const Pick& pick, const std::string& path) const;
    void writeFolder(const std::string& archivePath, const std::string& relative);
    void writeFile(int64_t number, const std::string& relative);
    // The folder relative below the base, made when missing; null (logged,
    // counted) when it cannot be.
    const Folder* makeFolder(const fs::path& relative, const std::string& shown);
    void failed(const std::string& line) {
        log_(line);
        ++result_.report.failed;
    }

    const ExtractContext& c_;
    const ExtractSelectionOptions& options_;
    LogSink& log_;
    fs::path base_;
    std::string baseShown_;
    Expected<Folder> baseFolder_ = Status::error("not opened");
    Folder held_;            // the folder last written to
    fs::path heldPath_;
    std::vector<uint8_t> done_;   // per file: already written (or tried)
    SelectionReport result_;
};

SelectionReport ExtractSelectionRun::run(const std::vector<SelectedNode>& nodes) {
    std::vector<Pick> picks;
    for (const SelectedNode& node : nodes) {
        if (node.key.empty()) continue;
        const NodeRef ref = decodeNodeKey(node.key);
        Pick pick;
        pick.text = node.text;
        pick.path = ref.path;
        pick.number = ref.entryNumber;
        pick.kind = ref.kind == NodeRef::Kind::Root        ? Pick::Kind::Root
                    : ref.kind == NodeRef::Kind::Directory ? Pick::Kind::Folder
                                                           : Pick::Kind::File;
        picks.push_back(std::move(pick));
    }
    // Nodes inside another selected node (and repeats) are covered by it.
    std::vector<Pick> outer;
    for (size_t i = 0; i < picks.size(); ++i) {
        bool covered = false;
        for (size_t j = 0; j < picks.size() && !covered; ++j) {
            if (i == j) continue;
            const bool same = picks[i].kind == picks[j].kind && picks[i].path == picks[j].path &&
                              picks[i].number == picks[j].number;
            covered = covers(picks[j], picks[i]) || (same && j < i);
        }
        if (!covered) outer.push_back(picks[i]);
    }

    if (options_.target.empty()) {
        // Beside the archive: the path up to and including its last "/".
        const std::string folder = folderOf(c_.sFile.string());
        base_ = folder.empty() ? fs::path(".") : fs::path(folder);
        baseShown_ = logText(folder);
    } else {
        std::string target = options_.target.string();
        while (target.size() > 1 && target.back() == '/') target.pop_back();
        base_ = fs::path(target);
        baseShown_ = logText(target + "/");
    }
    done_.assign(c_.model.files.size(), 0);
    // The target is the user's (a link there is followed), made when missing;
    // the archive's own folder is there already.
    baseFolder_ = openBaseOrSayWhy(base_, !options_.target.empty(), baseShown_);
    for (const Pick& pick : outer) {
        if (c_.host.stopRequested()) {
            result_.report.stopped = true;
            break;
        }
        extractPick(pick);
    }

    const int written = result_.report.written;
    std::string summary = std::to_string(written) + (written == 1 ? " file extracted" : " files extracted");
    if (result_.report.failed > 0) summary += ", " + std::to_string(result_.report.failed) + " failed";
    if (result_.report.stopped) summary += ", stopped";
    log_(summary);
    result_.report.summary = cp1252ToUtf8(summary);
    return result_;
}

std::string ExtractSelectionRun::relativeFor(const Pick& pick, const std::string& path) const {
    if (!options_.fromSelectedNode || options_.target.empty()) return path;
    switch (pick.kind) {
    case Pick::Kind::Root:
        return fileNameOf(c_.sFile.string()) + "\\" + path;
    case Pick::Kind::Folder: {
        // From the folder's own name down.
        const std::string own = lastPart(pick.path);
        return path.size() == pick.path.size() ? own : own + path.substr(pick.path.size());
    }
    case Pick::Kind::File:
        return lastPart(path);
    }
    return path;
}

void ExtractSelectionRun::extractPick(const Pick& pick) {
    const ArchiveModel& model = c_.model;
    if (pick.kind == Pick::Kind::File) {
        if (!model.isFileNumber(pick.number)) {
            log_("Decompressing: " + pick.text);
            failed("Cannot extract " + pick.text + ": the archive has no file entry " +
                   std::to_string(pick.number));
            return;
        }
        writeFile(pick.number, relativeFor(pick, model.fileOf(pick.number).path()));
        if (!options_.target.empty()) result_.items.push_back(base_ / fs::path(withSlashes(relativeFor(pick, pick.path))));
        return;
    }
    const bool root = pick.kind == Pick::Kind::Root;
    // Folders first, so that empty ones are there too when written below a target.
    if (!options_.target.empty()) {
        if (root && options_.fromSelectedNode) writeFolder("", fileNameOf(c_.sFile.string()));
        if (!root) writeFolder(pick.path, relativeFor(pick, pick.path));
        for (const ArchiveFolder& folder : model.folders) {
            if (folder.path.empty() || folder.path == pick.path || !(root || under(folder.path, pick.path)))
                continue;
            writeFolder(folder.path, relativeFor(pick, folder.path));
        }
        const std::string itemPath = root ? (options_.fromSelectedNode ? fileNameOf(c_.sFile.string()) : "")
                                          : relativeFor(pick, pick.path);
        result_.items.push_back(itemPath.empty() ? base_ : base_ / fs::path(withSlashes(itemPath)));
    }
    for (size_t i = 0; i < model.files.size(); ++i) {
        const ArchiveFile& f = model.files[i];
        if (!root && !(f.folder == pick.path || under(f.folder, pick.path))) continue;
        if (c_.host.stopRequested()) {
            result_.report.stopped = true;
            return;
        }
        writeFile(model.fileNumber(i), relativeFor(pick, f.path()));
        c_.host.letEventsRun();
    }
}

const Folder* ExtractSelectionRun::makeFolder(const fs::path& relative, const std::string& shown) {
    if (!baseFolder_) {
        failed(baseFolder_.message());
        return nullptr;
    }
    if (relative.empty()) return &*baseFolder_;
    if (held_.isOpen() && heldPath_ == relative) return &held_;
    Expected<Folder> folder = makeFolderOrSayWhy(*baseFolder_, relative, shown, shown, log_);
    if (!folder) {
        failed(folder.message());
        return nullptr;
    }
    held_ = std::move(*folder);
    heldPath_ = relative;
    return &held_;
}

void ExtractSelectionRun::writeFolder(const std::string& archivePath, const std::string& relativeText) {
    std::string why;
    const auto relative = safeRelativePath("", relativeText, &why, c_.model.encoding);
    if (!relative) {
        failed("Skipped " + (archivePath.empty() ? relativeText : archivePath) + ": unsafe name (" + why + ")");
        return;
    }
    makeFolder(*relative, baseShown_ + withSlashes(relativeText));
}

void ExtractSelectionRun::writeFile(int64_t number, const std::string& relativeText) {
    const size_t index = static_cast<size_t>(number - c_.model.folderCount() - 1);
    if (done_[index]) return;
    done_[index] = 1;
    const ArchiveFile& f = c_.model.fileOf(number);
    log_("Decompressing: " + f.name);
    // The safety check covers the whole relative path, whatever part of the
    // archive path it keeps.
    const auto sep = relativeText.rfind('\\');
    const std::string folderText = sep == std::string::npos ? std::string() : relativeText.substr(0, sep);
    std::string why;
    const auto relative = safeRelativePath(folderText, f.name, &why, c_.model.encoding);
    const auto check = safeRelativePath(f.folder, f.name, &why, c_.model.encoding);
    if (!relative || !check) {
        failed("Skipped " + f.path() + ": unsafe name (" + why + ")");
        return;
    }
    const BusyScope busy(c_.host);
    const fs::path target = base_ / *relative;
    const EntryWrite written = readAndWrite(c_, f, target, [&] {
        return makeFolder(relative->parent_path(), baseShown_ + withSlashes(folderText));
    });
    if (!written.problem.empty()) failed(written.problem);
    if (written.ok()) ++result_.report.written;
}

} // namespace

SelectionReport extractSelection(const ExtractContext& context, const std::vector<SelectedNode>& nodes,
                                 const ExtractSelectionOptions& options) {
    ExtractSelectionRun run(context, options);
    return run.run(nodes);
}

} // namespace sga
