#include "cli/Commands.h"

#include "archive/Cp1252.h"
#include "archive/FileReader.h"
#include "extract/EntryData.h"
#include "ui/ActivityLog.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace sga::cli {

namespace {

// The file entry whose path (as "sga list" prints it) is path; "/" may stand
// for "\". Null when there is none.
const FileEntry* findEntry(const ArchiveIndex& index, std::string path) {
    path = utf8ToCp1252(path);
    std::replace(path.begin(), path.end(), '/', '\\');
    for (size_t i = static_cast<size_t>(index.dirCount()); i < index.entries.size(); ++i) {
        if (entryPath(index.entries[i]) == path) return &index.entries[i];
    }
    return nullptr;
}

} // namespace

void addCatCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        std::string path;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand("cat", "Write one entry's bytes to stdout");
    addCommonOptions(*sub, *options);
    sub->add_option("PATH", options->path, "The entry's path as \"sga list\" prints it")
        ->required();
    sub->callback([options, &context] {
        auto log = openRunLog(*options);
        auto loaded = loadArchive(options->archive, *log);
        if (!loaded) {
            context.exitCode = kFailed;
            return;
        }
        const FileEntry* entry = findEntry(loaded->index, options->path);
        if (!entry) {
            std::cerr << "sga: " << options->path << ": no such file in the archive\n";
            context.exitCode = kFailed;
            return;
        }
        FileReader archive;
        if (!archive.open(options->archive)) {
            std::cerr << "sga: cannot open " << options->archive << ": " << archive.error() << "\n";
            context.exitCode = kFailed;
            return;
        }
        int16_t result = kEntryTruncated;
        if (archive.seek(entry->filePos)) result = readEntryData(*entry, archive, *log);
        if (result != 0) {
            std::cerr << "sga: " << options->path << ": " << describeEntryResult(result) << "\n";
            context.exitCode = kFailed;
            return;
        }
        if (std::fwrite(entryBuffer.data(), 1, entryBuffer.size(), stdout) != entryBuffer.size() ||
            std::fflush(stdout) != 0) {
            std::cerr << "sga: cannot write to stdout\n";
            context.exitCode = kFailed;
        }
    });
}

} // namespace sga::cli
