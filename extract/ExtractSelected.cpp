// Extract selected: one file beside the archive, or one directory under the
// data folder.
#include "extract/Extract.h"

#include "archive/ArchiveTree.h"
#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "core/WindowHost.h"
#include "extract/EntryData.h"
#include "extract/OutputFiles.h"
#include "extract/SafePath.h"
#include "core/ActivityLog.h"

namespace sga {
namespace {

namespace fs = std::filesystem;

class ExtractSelectedRun {
public:
    explicit ExtractSelectedRun(const ExtractContext& context)
        : c_(context), log_(context.log) {}

    ExtractReport run(const std::string& nodeKey, const std::string& nodeText);

private:
    void extractDirectory(const std::string& path);
    void extractFile(int64_t number, const std::string& nodeText);
    void writeEntry(const FileEntry& e, const fs::path& relative);
    bool fail(const std::string& line) {
        log_(line);
        report_.failed = 1;
        report_.summary = cp1252ToUtf8(line);
        return false;
    }
    bool makeFolder(const fs::path& folder, const std::string& shown, const std::string& logged);

    const ExtractContext& c_;
    LogSink& log_;
    fs::path dataFolder_;
    ExtractReport report_;
};

// Creates folder (with its parents) when missing, logging "Making
// directory: " + logged; false (logged, counted) when that fails.
bool ExtractSelectedRun::makeFolder(const fs::path& folder, const std::string& shown,
                                    const std::string& logged) {
    std::error_code ec;
    if (pathExists(folder)) {
        if (fs::is_directory(folder, ec)) return true;
        return fail("Cannot create directory " + shown + ": a file of that name exists");
    }
    log_("Making directory: " + logged);
    if (const std::string why = createFolders(folder); !why.empty())
        return fail("Cannot create directory " + shown + ": " + why);
    return true;
}

ExtractReport ExtractSelectedRun::run(const std::string& nodeKey, const std::string& nodeText) {
    if (nodeKey.empty()) return report_;
    const NodeRef ref = decodeNodeKey(nodeKey);
    if (ref.kind == NodeRef::Kind::Root) return report_;

    std::string location = c_.extractLocation.string();
    while (location.size() > 1 && location.back() == '/') location.pop_back();
    dataFolder_ = fs::path(location) / "Data";
    const std::string dataShown = logText(location + "/Data/");
    if (!makeFolder(dataFolder_, dataShown, dataShown)) return report_;

    if (ref.kind == NodeRef::Kind::Directory)
        extractDirectory(ref.path);
    else
        extractFile(ref.entryNumber, nodeText);
    return report_;
}

void ExtractSelectedRun::extractDirectory(const std::string& path) {
    std::string why;
    const auto relative = safeRelativePath("", path, &why);
    if (!relative) {
        fail("Skipped " + path + ": unsafe name (" + why + ")");
        return;
    }
    const fs::path target = dataFolder_ / *relative;
    makeFolder(target, logText(target.string()), path);
}

void ExtractSelectedRun::extractFile(int64_t number, const std::string& nodeText) {
    log_("Decompressing: " + nodeText);
    if (!c_.index.isFileNumber(number)) {
        fail("Cannot extract " + nodeText + ": the archive has no file entry " +
             std::to_string(number));
        return;
    }
    const FileEntry& e = c_.index.entries[static_cast<size_t>(number - 1)];
    std::string why;
    const auto relative = safeRelativePath(e.dirName, e.name, &why);
    if (!relative) {
        fail("Skipped " + (e.dirName.empty() ? e.name : e.dirName + "\\" + e.name) +
             ": unsafe name (" + why + ")");
        return;
    }
    c_.host.setBusy(true);
    writeEntry(e, *relative);
    c_.host.setBusy(false);
}

void ExtractSelectedRun::writeEntry(const FileEntry& e, const fs::path& relative) {
    FileReader archive;
    if (!archive.open(c_.sFile)) {
        fail("Cannot open " + logText(c_.sFile.string()) + ": " + archive.error());
        return;
    }
    if (!archive.seek(e.filePos)) {
        fail("Cannot extract " + e.name + ": its data block at offset " + std::to_string(e.filePos) +
             " lies outside the archive");
        return;
    }
    const int16_t result = readEntryData(e, archive, log_);
    archive.close();
    if (result != 0) {
        fail("Cannot extract " + e.name + ": " + describeEntryResult(result));
        return;
    }
    log_("result 0");
    const std::string archiveFolder = c_.index.archiveFolder;
    const fs::path base = archiveFolder.empty() ? fs::path(".") : fs::path(archiveFolder);
    const fs::path target = base / relative;
    const std::string folderShown = logText(archiveFolder) + withSlashes(e.dirName);
    if (!makeFolder(target.parent_path(), folderShown, folderShown)) return;
    if (const std::string why = writeWholeFile(target, entryBuffer.data(), entryBuffer.size());
        !why.empty()) {
        fail("Cannot write " + logText(target.string()) + ": " + why);
        return;
    }
    report_.written = 1;
}

} // namespace

ExtractReport extractSelected(const ExtractContext& context, const std::string& nodeKey,
                              const std::string& nodeText) {
    ExtractSelectedRun run(context);
    return run.run(nodeKey, nodeText);
}

} // namespace sga
