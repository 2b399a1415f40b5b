#pragma once
// Opening an archive of any layout: the magic is checked, the detector picks
// the reader, and the result is the common model with its tree. Versions 1
// and 2 with 17-byte records (and versions no layout claims) go through the
// 17-byte reader (modSGA), whose trace, tree and index stay exactly as they were;
// the model is then made from its index.

#include "archive/ArchiveIndex.h"
#include "archive/ArchiveModel.h"
#include "archive/ArchiveTree.h"
#include "core/Status.h"

#include <filesystem>
#include <optional>

namespace sga {

class LogSink;
class ReportSink;

struct OpenedArchive {
    ArchiveModel model;
    ArchiveTree tree;
    std::optional<ArchiveIndex> index;   // the 17-byte reader's index, when it read the file
    std::filesystem::path path;

    bool empty() const { return model.empty(); }
};

// Loads the archive at path into out. On failure out is empty, the reason
// has been logged as one line and shown as the status text, and the
// extraction commands are disabled.
Status openAnyArchive(const std::filesystem::path& path, OpenedArchive& out, LogSink& log,
                      ReportSink& host);

// The model of an archive read by the 17-byte reader.
ArchiveModel modelFromIndex(const ArchiveIndex& index, int64_t fileSize);
// One file of that index whose 264-byte block starts at blockPos (its folder left unset).
ArchiveFile fileOfEntry(const FileEntry& entry, int64_t blockPos);

// The tree of a model: the root (the archive's file name), a node per folder
// ("d.." + path) under its parent folder or the root, a node per file (path,
// "|", entry number) under its folder. Text is archive text, as the model has it.
ArchiveTree treeFromModel(const ArchiveModel& model, const std::string& rootText);

} // namespace sga
