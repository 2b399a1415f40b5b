#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Scripting.h"

#include "archive/modSGA.h"
#include "cli/EntryConvert.h"
#include "cli/RgdDictionaries.h"
#include "extract/Extract.h"
#include "extract/OutputFiles.h"
#include "extract/SafePath.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"

#include <iostream>
#include <sys/stat.h>

namespace sga::cli {
namespace {

// Writes NAME.png / NAME.json / NAME.txt beside each extracted entry that has a converted
// form. A conversion that fails is named on stderr and in the log; the others
// go on. Returns the number of failures. The folders below base are reached
// as extraction reaches them: a link there is refused, never followed.
int writeConvertedCopies(const LoadedArchive& loaded, const Folder& base, const std::filesystem::path& basePath,
                         const RgdDictionary& dictionary, LogSink& log) {
    int failures = 0;
    std::vector<uint8_t> bytes;
    for (const ArchiveFile& file : loaded.model.files) {
        const std::string extension = convertedExtension(file.name);
        if (extension.empty()) continue;
        // Entries whose names extraction refused have no place to go beside.
        const auto relative = safeRelativePath(file.folder, file.name, nullptr, loaded.model.encoding);
        if (!relative) continue;
        const std::filesystem::path target = basePath / (relative->string() + "." + extension);
        const std::string shown = modelTextToUtf8(loaded.model, file.path());
        std::string why;
        if (auto error = readEntryBytes(loaded, file, log, bytes)) {
            why = *error;
        } else if (auto converted = convertEntry(file.name, bytes, dictionary); !converted) {
            why = converted.message();
        } else if (Expected<Folder> folder = openFolderBelow(base, relative->parent_path(), false); !folder) {
            why = folder.message();
        } else if (Status written = writeWholeFileIn(*folder, relative->filename().string() + "." + extension,
                                                     converted->bytes.data(), converted->bytes.size());
                   !written) {
            why = written.message();
        }
        if (why.empty()) {
            log("Converted " + file.path() + " to " + logText(target.string()));
            continue;
        }
        ++failures;
        std::cerr << "sga: cannot convert " << printable(shown) << ": " << printable(why) << "\n";
        log("Cannot convert " + file.path() + ": " + why);
    }
    return failures;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Why the run failed, on stderr: each failed entry (the first few), then one summary line.
void tellWhy(const ExtractReport& report, const std::filesystem::path& location, const std::string& archive) {
    if (report.targetTaken) {
        const std::filesystem::path folder = location / fileNameOf(archive);
        std::cerr << "sga: cannot extract into " << printable(folder.string()) << ": "
                  << (sameFile(folder, archive) ? "that is the archive itself" : "a file of that name exists")
                  << "; choose another folder with -o\n";
        return;
    }
    for (const EntryFailure& failure : report.failures)
        std::cerr << printable(failure.path) << ": " << printable(failure.reason) << "\n";
    if (report.failed > static_cast<int>(report.failures.size()))
        std::cerr << "and " << report.failed - static_cast<int>(report.failures.size()) << " more; see --log\n";
    std::cerr << "sga: " << printable(report.summary) << "\n";
}

} // namespace

void addExtractCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        std::string outputDir;
        int jobs = defaultJobs();
        SelectionOptions selection;
        bool convert = false;
        std::vector<std::string> dictionaries;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "extract", "Extract every directory and file under DIR/<archive file name>/");
    addCommonOptions(*sub, *options);
    addSelectionOptions(*sub, options->selection);
    sub->add_option("-o,--output", options->outputDir,
                    "Folder to extract under (default: the current folder)");
    sub->add_option("-j,--jobs", options->jobs, "Entries decoded and written in parallel (default: the machine's cores)")
        ->check(CLI::Range(1, 64));
    sub->add_flag("--convert", options->convert,
                  "Also write converted copies beside the entries: NAME.png for DDS, RRTEX, TGA, PSD and PCX "
                  "pictures, NAME.json for RGD attributes, NAME.txt (UTF-8) for UCS text");
    sub->add_option("--dictionary", options->dictionaries,
                    "With --convert: a #RGD_DIC file of RGD key names (repeatable)");
    onLoadedArchive(*sub, options, context,
                    [options, &context](LoadedArchive& loaded, LogSink& log) {
        std::error_code ec;
        const std::filesystem::path location = options->outputDir.empty()
                                                   ? std::filesystem::current_path(ec)
                                                   : std::filesystem::path(options->outputDir);
        // With patterns, the rest of the run (conversions too) sees the selected entries only.
        if (!narrowToSelection(loaded, options->selection, context)) return;
        // A signal stops the run: the entry being written is removed.
        const InterruptScope interrupts;
        InterruptibleHost host;
        const ExtractContext extract{loaded.model, options->archive, location, log, host};
        const ExtractReport report = extractAll(
            extract, {.jobs = options->jobs, .interrupted = [] { return InterruptScope::caught() != 0; }});
        if (const int signal = InterruptScope::caught(); signal != 0) {
            std::cerr << "sga: interrupted; " << report.written << " of " << loaded.model.entryCount()
                      << " entries written\n";
            context.exitCode = exitStatusForSignal(signal);
            return;
        }
        if (report.failed > 0 || report.stopped) {
            tellWhy(report, location, options->archive);
            context.exitCode = kFailed;
        }
        if (!options->convert || report.stopped || report.noSpace || report.targetTaken) return;
        const std::string name = fileNameOf(options->archive);
        Expected<Folder> locationFolder = openUserFolder(location, false);
        Expected<Folder> base = locationFolder ? openFolderBelow(*locationFolder, name, false)
                                               : Expected<Folder>(locationFolder.status());
        if (!base) return;
        const RgdDictionary dictionary = loadRgdDictionaries(options->dictionaries);
        if (const int failures = writeConvertedCopies(loaded, *base, location / name, dictionary, log); failures > 0) {
            std::cerr << "sga: " << failures << (failures == 1 ? " conversion" : " conversions") << " failed\n";
            context.exitCode = kFailed;
        }
    });
}

} // namespace sga::cli
