#pragma once
// The two extraction commands, as plain functions over the loaded archive.
// They talk to the window only through WindowHost and to the log through
// LogSink.

#include "archive/ArchiveModel.h"

#include <filesystem>
#include <string>

namespace sga {

class LogSink;
class WindowHost;

struct ExtractContext {
    const ArchiveModel& model;
    std::filesystem::path sFile;             // the open archive
    std::filesystem::path extractLocation;   // the folder extraction writes under
    LogSink& log;
    WindowHost& host;
};

struct ExtractReport {
    int written = 0;          // files written
    int failed = 0;           // entries not written: unreadable, refused names, disk errors
    bool stopped = false;     // the host asked to stop before the end
    std::string summary;      // one line for a status bar or stderr (UTF-8), empty when all went well
};

// "Extract selected": the node with this key and text. A file node writes
// that entry beside the archive (the archive's folder + folder + name); a directory
// node creates the directory under extractLocation/Data/. The root does nothing.
ExtractReport extractSelected(const ExtractContext& context, const std::string& nodeKey,
                              const std::string& nodeText);

struct ExtractAllOptions {
    int jobs = 1;             // inflate and write in parallel; output and log as with one
};

// "Extract all": every folder, then every file, under
// extractLocation/<archive file name>/.
ExtractReport extractAll(const ExtractContext& context, const ExtractAllOptions& options = {});

} // namespace sga
