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
    void writeEntry(const ArchiveFile& f, const fs::path& relative);
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
    const auto relative = safeRelativePath("", path, &why, c_.model.encoding);
    if (!relative) {
        fail("Skipped " + path + ": unsafe name (" + why + ")");
        return;
    }
    const fs::path target = dataFolder_ / *relative;
    makeFolder(target, logText(target.string()), path);
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
    c_.host.setBusy(true);
    writeEntry(f, *relative);
    c_.host.setBusy(false);
}

void ExtractSelectedRun::writeEntry(const ArchiveFile& f, const fs::path& relative) {
    FileReader archive;
    if (!archive.open(c_.sFile)) {
        fail("Cannot open " + logText(c_.sFile.string()) + ": " + archive.error());
        return;
    }
    const int16_t result = readFileBytes(f, archive, log_, entryBuffer);
    archive.close();
    if (result != 0) {
        fail("Cannot extract " + f.name + ": " + describeEntryFailure(f, result));
        return;
    }
    log_("result 0");
    // The archive's folder: the path up to and including its last "/".
    const std::string sFile = c_.sFile.string();
    const auto sep = sFile.rfind('/');
    const std::string archiveFolder = sep == std::string::npos ? std::string() : sFile.substr(0, sep + 1);
    const fs::path base = archiveFolder.empty() ? fs::path(".") : fs::path(archiveFolder);
    const fs::path target = base / relative;
    const std::string folderShown = logText(archiveFolder) + withSlashes(f.folder);
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
