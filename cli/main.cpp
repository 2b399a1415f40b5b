// sga: the command line over the same core as the window.
#include "cli/Commands.h"

#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "core/WindowHost.h"
#include "extract/EntryData.h"
#include "archive/modSGA.h"
#include "core/ActivityLog.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace sga::cli {

void addCommonOptions(CLI::App& sub, CommonOptions& options) {
    sub.add_option("ARCHIVE", options.archive, "Archive file (.big or .sga)")->required();
    sub.add_option("--log", options.logFile,
                   "Write the activity log of this run to FILE (started afresh)");
}

std::unique_ptr<LogSink> openRunLog(const CommonOptions& options) {
    if (options.logFile.empty()) return std::make_unique<NullLog>();
    auto log = std::make_unique<ActivityLog>(options.logFile);
    log->restart();
    return log;
}

std::optional<LoadedArchive> loadArchive(const std::string& path, LogSink& log) {
    LoadedArchive loaded;
    WindowHost quiet;
    Status status = openArchive(path, loaded.index, loaded.tree, log, quiet);
    if (!status) {
        std::cerr << "sga: " << cp1252ToUtf8(status.message()) << "\n";
        return std::nullopt;
    }
    return loaded;
}

void onLoadedArchive(CLI::App& sub, std::shared_ptr<const CommonOptions> options, Context& context,
                     std::function<void(LoadedArchive&, LogSink&)> body) {
    sub.callback([options = std::move(options), &context, body = std::move(body)] {
        auto log = openRunLog(*options);
        auto loaded = loadArchive(options->archive, *log);
        if (!loaded) {
            context.exitCode = kFailed;
            return;
        }
        body(*loaded, *log);
    });
}

std::string entryPath(const FileEntry& entry) {
    return entry.dirName.empty() ? entry.name : entry.dirName + "\\" + entry.name;
}

const FileEntry* findFileEntry(const ArchiveIndex& index, const std::string& utf8Path) {
    std::string wanted = utf8ToCp1252(utf8Path);
    std::replace(wanted.begin(), wanted.end(), '/', '\\');
    for (size_t i = static_cast<size_t>(std::max(index.dirCount(), 0)); i < index.entries.size(); ++i) {
        if (entryPath(index.entries[i]) == wanted) return &index.entries[i];
    }
    return nullptr;
}

std::optional<std::string> readEntryBytes(const std::string& archivePath, const FileEntry& entry,
                                          LogSink& log, std::vector<uint8_t>& bytes) {
    FileReader archive;
    if (!archive.open(archivePath)) return "cannot open " + archivePath + ": " + archive.error();
    int16_t result = kEntryTruncated;
    if (archive.seek(entry.filePos)) result = readEntryData(entry, archive, log, bytes);
    if (result != 0) return cp1252ToUtf8(entryPath(entry)) + ": " + describeEntryResult(result);
    return std::nullopt;
}

} // namespace sga::cli

int main(int argc, char** argv) {
    using namespace sga::cli;
    CLI::App app{"Lists, checks and extracts SGA archives (.sga version 1, .big version 2)", "sga"};
    app.set_version_flag("--version", std::to_string(SGA_VERSION_MAJOR) + "." +
                                          std::to_string(SGA_VERSION_MINOR));
    app.require_subcommand(1);
    Context context;
    addInfoCommand(app, context);
    addListCommand(app, context);
    addExtractCommand(app, context);
    addCatCommand(app, context);
    addVerifyCommand(app, context);
    addImageCommand(app, context);
    addPackCommand(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kUsage;
    }
    std::fflush(stdout);
    return context.exitCode;
}
