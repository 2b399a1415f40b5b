// sga: the command line over the same core as the window.
#include "cli/Commands.h"

#include "core/Cp1252.h"
#include "core/FileReader.h"
#include "core/ReportSink.h"
#include "extract/EntryReader.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"

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
    ReportSink quiet;
    Status status = openAnyArchive(path, loaded, log, quiet);
    if (!status) {
        std::cerr << "sga: " << printable(cp1252ToUtf8(status.message())) << "\n";
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

namespace {

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

const ArchiveFile* findFile(const ArchiveModel& model, const std::string& utf8Path) {
    std::string wanted = model.encoding == TextEncoding::Utf8 ? utf8Path : utf8ToCp1252(utf8Path);
    std::replace(wanted.begin(), wanted.end(), '/', '\\');
    const ArchiveFile* folded = nullptr;
    int foldedMatches = 0;
    for (const ArchiveFile& f : model.files) {
        const std::string path = f.path();
        if (path == wanted) return &f;
        if (sameIgnoringAsciiCase(path, wanted)) {
            folded = &f;
            ++foldedMatches;
        }
    }
    return foldedMatches == 1 ? folded : nullptr;
}

std::optional<std::string> readEntryBytes(const LoadedArchive& loaded, const ArchiveFile& file,
                                          LogSink& log, std::vector<uint8_t>& bytes) {
    FileReader archive;
    if (!archive.open(loaded.path)) return "cannot open " + loaded.path.string() + ": " + archive.error();
    EntryReader reader(archive, log);
    if (const Status read = reader.read(file, bytes, inMemoryLimit()); !read)
        return modelTextToUtf8(loaded.model, file.path()) + ": " + read.message();
    return std::nullopt;
}

std::optional<std::string> readEntryBytes(const LoadedArchive& loaded, const ArchiveFile& file,
                                          LogSink& log, const ChunkSink& onBytes) {
    FileReader archive;
    if (!archive.open(loaded.path)) return "cannot open " + loaded.path.string() + ": " + archive.error();
    EntryReader reader(archive, log);
    bool passedOn = true;
    const Status read = reader.stream(file, [&](const uint8_t* data, size_t size) {
        return passedOn = onBytes(data, size);
    });
    if (!passedOn) return "cannot pass on the bytes";
    if (!read) return modelTextToUtf8(loaded.model, file.path()) + ": " + read.message();
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> readNamedEntry(const LoadedArchive& loaded, const std::string& path,
                                                   LogSink& log, Context& context) {
    std::optional<std::string> problem;
    std::vector<uint8_t> bytes;
    if (const ArchiveFile* entry = findFile(loaded.model, path); !entry)
        problem = printable(path) + ": no such file in the archive";
    else
        problem = readEntryBytes(loaded, *entry, log, bytes);
    if (!problem) return bytes;
    failCommand(context, *problem);
    return std::nullopt;
}

void failCommand(Context& context, const std::string& reason) {
    std::cerr << "sga: " << reason << "\n";
    context.exitCode = kFailed;
}

} // namespace sga::cli

int main(int argc, char** argv) {
    using namespace sga::cli;
    CLI::App app{"Lists, checks, extracts and packs SGA archives (.sga and .big, versions 1 to 10)", "sga"};
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
    addDiffCommand(app, context);
    addGrepCommand(app, context);
    addChunkyCommand(app, context);
    addRgdCommand(app, context);
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
