#pragma once
// The two extraction commands, as plain functions over the loaded archive.
// They talk to the window only through ReportSink and to the log through
// LogSink.

#include "archive/ArchiveModel.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sga {

class LogSink;
class ReportSink;

struct ExtractContext {
    const ArchiveModel& model;
    std::filesystem::path sFile;             // the open archive
    std::filesystem::path extractLocation;   // the folder extraction writes under
    LogSink& log;
    ReportSink& host;
};

// One entry that was not written, and why (both UTF-8, as the archive has them).
struct EntryFailure {
    std::string path;
    std::string reason;
};

struct ExtractReport {
    int written = 0;          // files written
    int failed = 0;           // entries not written: unreadable, refused names, disk errors
    bool stopped = false;     // the host asked to stop (or a signal came) before the end
    bool noSpace = false;     // the run stopped at the first "no space left on device"
    bool targetTaken = false; // the folder named after the archive is a file (or not a folder)
    std::string summary;      // one line for a status bar or stderr (UTF-8), empty when all went well
    // The first failures in entry order (at most kKeptFailures); failed counts them all.
    std::vector<EntryFailure> failures;
    static constexpr size_t kKeptFailures = 20;
    void addFailure(std::string path, std::string reason) {
        ++failed;
        if (failures.size() < kKeptFailures) failures.push_back({std::move(path), std::move(reason)});
    }
};

// "Extract selected": the node with this key and text. A file node writes
// that entry beside the archive (the archive's folder + folder + name); a directory
// node creates the directory under extractLocation/Data/. The root does nothing.
ExtractReport extractSelected(const ExtractContext& context, const std::string& nodeKey,
                              const std::string& nodeText);

struct ExtractAllOptions {
    int jobs = 1;             // inflate and write in parallel; output and log as with one
    // Called from any thread: true stops the run at once; the entry being
    // written is dropped (its temporary removed). Empty: never.
    std::function<bool()> interrupted = {};
    // Whether the target takes names that differ in letter case for one
    // name; unset: probed in the target.
    std::optional<bool> foldsCase = {};
};

// "Extract all": every folder, then every file, under
// extractLocation/<archive file name>/.
ExtractReport extractAll(const ExtractContext& context, const ExtractAllOptions& options = {});

} // namespace sga

namespace sga {

// One tree node picked for extraction: its key and text, as the tree has them.
struct SelectedNode {
    std::string key;
    std::string text;
};

struct ExtractSelectionOptions {
    // Empty: every file goes beside the archive (the archive's folder + its
    // folder + name), as Extract selected writes one file node. Otherwise
    // everything is written below this folder.
    std::filesystem::path target;
    // With a target: false keeps each file's whole archive path below it;
    // true starts at the selected node: a selected file lands under its own
    // name, a selected folder as a folder of its own name with everything
    // under it, the root as a folder named after the archive file.
    bool fromSelectedNode = false;
};

struct SelectionReport {
    ExtractReport report;     // summary: "12 files extracted, 1 failed"
    // With a target: what each selected node became below it (a file or a
    // folder), in the order given; nodes inside another selected node are
    // left out, their files are written once.
    std::vector<std::filesystem::path> items;
};

// "Extract selected" for several nodes: every selected file and every file
// under a selected folder or the root, each with the log lines Extract
// selected writes for one file node, then one summary line.
SelectionReport extractSelection(const ExtractContext& context, const std::vector<SelectedNode>& nodes,
                                 const ExtractSelectionOptions& options = {});

} // namespace sga
