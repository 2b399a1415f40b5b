#include "cli/Commands.h"
#include "cli/Scripting.h"

#include "core/Cp1252.h"
#include "extract/Verify.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"

#include <cstdio>
#include <iostream>

namespace sga::cli {

void addVerifyCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        int jobs = defaultJobs();
        SelectionOptions selection;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "verify", "Decode every entry and check its size, its checksums and the header signatures");
    addCommonOptions(*sub, *options);
    addSelectionOptions(*sub, options->selection);
    sub->add_option("-j,--jobs", options->jobs, "Entries decoded and checked in parallel (default: the machine's cores)")
        ->check(CLI::Range(1, 64));
    onLoadedArchive(*sub, options, context,
                    [options, &context](LoadedArchive& loaded, LogSink& log) {
        if (!narrowToSelection(loaded, options->selection, context)) return;
        const VerifyReport report = verifyArchive(loaded.model, options->archive, log, {.jobs = options->jobs});
        for (const VerifyProblem& p : report.problems) {
            if (p.entryNumber == 0)
                std::printf("header: %s\n", printable(p.message).c_str());
            else
                std::printf("%s: %s\n", printable(modelTextToUtf8(loaded.model, p.path)).c_str(),
                            printable(p.message).c_str());
        }
        const char* signatures = report.notSigned             ? ", header not signed"
                                 : !report.signaturesChecked ? ""
                                 : report.problems.size() > static_cast<size_t>(report.entriesFailed)
                                     ? ", header signatures do not match"
                                     : ", header signatures match";
        std::printf("%d %s checked, %d failed%s\n", report.entriesChecked,
                    report.entriesChecked == 1 ? "entry" : "entries", report.entriesFailed, signatures);
        if (!report.ok()) {
            std::fflush(stdout);
            std::fprintf(stderr, "sga: %s: verification failed\n", printable(options->archive).c_str());
            context.exitCode = kFailed;
        }
    });
}

} // namespace sga::cli
