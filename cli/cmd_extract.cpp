#include "cli/CliHost.h"
#include "cli/Commands.h"

#include "archive/modSGA.h"
#include "cli/EntryConvert.h"
#include "cli/RgdDictionaries.h"
#include "extract/Extract.h"
#include "extract/OutputFiles.h"
#include "extract/SafePath.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"

#include <iostream>

namespace sga::cli {
namespace {

// Writes NAME.png / NAME.json beside each extracted entry that has a converted
// form. A conversion that fails is named on stderr and in the log; the others
// go on. Returns the number of failures.
int writeConvertedCopies(const LoadedArchive& loaded, const std::filesystem::path& base,
                         const RgdDictionary& dictionary, LogSink& log) {
    int failures = 0;
    std::vector<uint8_t> bytes;
    for (const ArchiveFile& file : loaded.model.files) {
        const std::string extension = convertedExtension(file.name);
        if (extension.empty()) continue;
        // Entries whose names extraction refused have no place to go beside.
        const auto relative = safeRelativePath(file.folder, file.name, nullptr, loaded.model.encoding);
        if (!relative) continue;
        const std::filesystem::path target = base / (relative->string() + "." + extension);
        const std::string shown = modelTextToUtf8(loaded.model, file.path());
        std::string why;
        if (auto error = readEntryBytes(loaded, file, log, bytes)) {
            why = *error;
        } else if (auto converted = convertEntry(file.name, bytes, dictionary); !converted) {
            why = converted.message();
        } else {
            why = writeWholeFile(target, converted->bytes.data(), converted->bytes.size());
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

} // namespace

void addExtractCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        std::string outputDir;
        int jobs = defaultJobs();
        bool convert = false;
        std::vector<std::string> dictionaries;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "extract", "Extract every directory and file under DIR/<archive file name>/");
    addCommonOptions(*sub, *options);
    sub->add_option("-o,--output", options->outputDir,
                    "Folder to extract under (default: the current folder)");
    sub->add_option("-j,--jobs", options->jobs, "Entries decoded and written in parallel (default: the machine's cores)")
        ->check(CLI::Range(1, 64));
    sub->add_flag("--convert", options->convert,
                  "Also write converted copies beside the entries: NAME.png for DDS, RRTEX, TGA, PSD and PCX "
                  "pictures, NAME.json for RGD attributes");
    sub->add_option("--dictionary", options->dictionaries,
                    "With --convert: a #RGD_DIC file of RGD key names (repeatable)");
    onLoadedArchive(*sub, options, context,
                    [options, &context](LoadedArchive& loaded, LogSink& log) {
        std::error_code ec;
        const std::filesystem::path location = options->outputDir.empty()
                                                   ? std::filesystem::current_path(ec)
                                                   : std::filesystem::path(options->outputDir);
        CliHost host;
        const ExtractContext extract{loaded.model, options->archive, location, log, host};
        const ExtractReport report = extractAll(extract, {.jobs = options->jobs});
        if (report.failed > 0 || report.stopped) {
            std::cerr << "sga: " << report.summary << "\n";
            context.exitCode = kFailed;
        }
        const std::filesystem::path base = location / fileNameOf(options->archive);
        if (options->convert && !report.stopped && std::filesystem::is_directory(base, ec)) {
            const RgdDictionary dictionary = loadRgdDictionaries(options->dictionaries);
            if (const int failures = writeConvertedCopies(loaded, base, dictionary, log); failures > 0) {
                std::cerr << "sga: " << failures << (failures == 1 ? " conversion" : " conversions") << " failed\n";
                context.exitCode = kFailed;
            }
        }
    });
}

} // namespace sga::cli
