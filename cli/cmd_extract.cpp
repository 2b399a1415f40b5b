#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"

#include "archive/modSGA.h"
#include "core/TerminalText.h"
#include "extract/Extract.h"
#include "core/ActivityLog.h"

#include <iostream>
#include <sys/stat.h>

namespace sga::cli {
namespace {

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
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "extract", "Extract every directory and file under DIR/<archive file name>/");
    addCommonOptions(*sub, *options);
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
    });
}

} // namespace sga::cli
