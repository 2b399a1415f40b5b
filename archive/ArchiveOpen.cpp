#include "archive/ArchiveOpen.h"

#include "archive/LayoutReaders.h"
#include "archive/LoadReport.h"
#include "archive/modSGA.h"
#include "core/ActivityLog.h"
#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "core/ReportSink.h"

#include <cstring>
#include <unordered_map>

namespace sga {
namespace {

constexpr std::string_view kMagic = "_ARCHIVE";

std::string n(int64_t value) { return std::to_string(value); }

// Not an SGA archive when the first bytes differ from the magic. A file too
// short to hold all of it but starting like it is left to the reader, which
// says where it ends.
Status checkMagic(FileReader& file) {
    const size_t have = static_cast<size_t>(std::min<int64_t>(file.size(), kMagic.size()));
    char head[8] = {};
    if (!file.seek(0) || !file.read(head, have)) {
        return Status::error(ErrorCode::CannotOpen, "cannot read the file: " + file.error());
    }
    if (have == 0 || std::memcmp(head, kMagic.data(), have) != 0) {
        return Status::error(ErrorCode::NotAnArchive,
                             "not an SGA archive: the file does not begin with \"_ARCHIVE\"");
    }
    return {};
}

Status openLayout(const std::filesystem::path& path, FileReader& file, Layout layout,
                  OpenedArchive& out, LogSink& log, ReportSink& host) {
    reportOpened(path, log);
    Expected<ArchiveModel> model = readLayout(file, layout, log);
    if (!model) return model.status();
    log("Parsing treeview...");
    out.model = std::move(model).value();
    const std::string fileName = fileNameOf(path.string());
    out.tree = treeFromModel(out.model, out.model.encoding == TextEncoding::Utf8
                                            ? fileName
                                            : utf8ToCp1252(fileName));
    out.tree.expandRoot();
    out.index.reset();
    out.path = path;
    reportLoaded(out.model.entryCount(), layoutDescription(out.model), log, host);
    return {};
}

} // namespace

Status openAnyArchive(const std::filesystem::path& path, OpenedArchive& out, LogSink& log,
                      ReportSink& host) {
    FileReader file;
    Expected<Layout> layout = Layout::V2Narrow;
    Status status;
    if (file.open(path)) {
        status = checkMagic(file);
        if (status.ok() && file.size() >= 12) layout = detectLayout(file);
        if (status.ok() && !layout) status = layout.status();
    }
    // The row without a reader in the layout table is the 17-byte reader's
    // (modSGA's), and so is a file that cannot be opened.
    if (!status.ok() || traitsOf(*layout).read != nullptr) {
        const BusyScope busy(host);
        if (status.ok()) status = openLayout(path, file, *layout, out, log, host);
        if (!status.ok()) {
            out = OpenedArchive{};
            status = reportCannotLoad(path, status, log, host);
        }
        return status;
    }
    const int64_t fileSize = file.size();
    file.close();

    ArchiveIndex index;
    ArchiveTree tree;
    status = openArchive(path, index, tree, log, host);
    if (!status.ok()) {
        out = OpenedArchive{};
        return status;
    }
    out.model = modelFromIndex(index, fileSize);
    out.tree = std::move(tree);
    out.index = std::move(index);
    out.path = path;
    return {};
}

ArchiveModel modelFromIndex(const ArchiveIndex& index, int64_t fileSize) {
    ArchiveModel model;
    model.layout = Layout::V2Narrow;
    model.major = static_cast<uint16_t>(index.version);
    model.minor = 0;
    model.encoding = TextEncoding::Cp1252;
    model.name = stripNuls(index.archiveName);
    model.fileSize = fileSize;
    model.dataOffset = index.dataOffset;
    // Version 1 has no ToC signature: its header is 16 bytes shorter.
    const int64_t headerSize = traitsOf(Layout::V2Narrow).headerSize - (index.version == 2 ? 0 : 16);
    model.tocOffset = headerSize;
    model.tocSize = index.headerValue;
    if (index.version == 2) {
        model.hasHeaderSignatures = true;
        model.signedFrom = headerSize;
        model.dataSignature = wordsToBytes(index.headerBlock);
        model.tocSignature = wordsToBytes(index.extraBlock);
    }
    model.drives.push_back(ArchiveDrive{trimAtNul(index.myEngineData.tocText1),
                                        trimAtNul(index.myEngineData.tocText2), -1});

    std::unordered_map<std::string, int32_t> folderOf;
    const int32_t dirCount = index.dirCount();
    for (int32_t m = 1; m <= dirCount; ++m) {
        ArchiveFolder folder;
        folder.path = index.entries[static_cast<size_t>(m - 1)].name;
        const auto last = folder.path.rfind('\\');
        if (last != std::string::npos) {
            if (auto it = folderOf.find(folder.path.substr(0, last)); it != folderOf.end())
                folder.parent = it->second;
        }
        folderOf.emplace(folder.path, m - 1);
        model.folders.push_back(std::move(folder));
    }
    for (int32_t m = dirCount + 1; m <= index.totalEntries(); ++m) {
        const FileEntry& e = index.entries[static_cast<size_t>(m - 1)];
        ArchiveFile f = fileOfEntry(e, e.filePos);
        f.folder = e.dirName;
        if (auto it = folderOf.find(e.dirName); it != folderOf.end()) f.folderIndex = it->second;
        model.files.push_back(std::move(f));
    }
    return model;
}

ArchiveFile fileOfEntry(const FileEntry& entry, int64_t blockPos) {
    ArchiveFile f;
    f.name = entry.name;
    f.blockPos = blockPos;
    f.blockSize = kDataBlockSize;
    f.blockNameSize = 256;
    f.dataPos = blockPos + kDataBlockSize;
    f.storedSize = int64_t{entry.compSize} + 1;
    f.size = entry.orgSize;
    f.storageValue = entry.null;
    f.storage = entry.null != 0 ? Storage::ZlibStream : Storage::Stored;
    f.crcKind = CrcKind::OfBytes;   // in the block before the bytes
    return f;
}

ArchiveTree treeFromModel(const ArchiveModel& model, const std::string& rootText) {
    ArchiveTree tree;
    tree.utf8Text = model.encoding == TextEncoding::Utf8;
    const int root = tree.add(-1, std::string(ArchiveTree::kRootKey), rootText);
    std::vector<int> nodeOf(model.folders.size(), root);
    for (size_t i = 0; i < model.folders.size(); ++i) {
        const ArchiveFolder& folder = model.folders[i];
        // Folders come after their parents; a parent that does not can only
        // be a damaged index, and the folder then hangs under the root.
        const bool underParent = folder.parent >= 0 && static_cast<size_t>(folder.parent) < i;
        const int parent = underParent ? nodeOf[static_cast<size_t>(folder.parent)] : root;
        std::string text = folder.path;
        if (underParent) {
            const auto last = text.rfind('\\');
            if (last != std::string::npos) text = text.substr(last + 1);
        }
        nodeOf[i] = tree.add(parent, std::string(ArchiveTree::kDirPrefix) + folder.path, std::move(text));
    }
    for (size_t i = 0; i < model.files.size(); ++i) {
        const ArchiveFile& file = model.files[i];
        const bool inFolder =
            file.folderIndex >= 0 && static_cast<size_t>(file.folderIndex) < model.folders.size();
        const int parent = inFolder ? nodeOf[static_cast<size_t>(file.folderIndex)] : root;
        tree.add(parent, file.path() + "|" + n(model.fileNumber(i)), file.name);
    }
    return tree;
}

} // namespace sga
