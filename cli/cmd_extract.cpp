#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/Scripting.h"

#include "extract/Extract.h"
#include "core/ActivityLog.h"

#include <iostream>

namespace sga::cli {

void addExtractCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        std::string outputDir;
        int jobs = defaultJobs();
        SelectionOptions selection;
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
    onLoadedArchive(*sub, options, context,
                    [options, &context](LoadedArchive& loaded, LogSink& log) {
        std::error_code ec;
        const std::filesystem::path location = options->outputDir.empty()
                                                   ? std::filesystem::current_path(ec)
                                                   : std::filesystem::path(options->outputDir);
        const auto selected = selectFiles(loaded.model, options->selection);
        if (!selected) {
            std::cerr << "sga: " << selected.message() << "\n";
            context.exitCode = kFailed;
            return;
        }
        const ArchiveModel model =
            options->selection.any() ? modelOfFiles(loaded.model, *selected) : std::move(loaded.model);
        CliHost host;
        const ExtractContext extract{model, options->archive, location, log, host};
        const ExtractReport report = extractAll(extract, {.jobs = options->jobs});
        if (report.failed > 0 || report.stopped) {
            std::cerr << "sga: " << report.summary << "\n";
            context.exitCode = kFailed;
        }
    });
}

} // namespace sga::cli
