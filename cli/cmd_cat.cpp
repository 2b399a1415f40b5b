#include "cli/Commands.h"

#include "extract/EntryData.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"

#include <cstdio>
#include <iostream>

namespace sga::cli {

void addCatCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        std::string path;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand("cat", "Write one entry's bytes to stdout");
    addCommonOptions(*sub, *options);
    sub->add_option("PATH", options->path, "The entry's path as \"sga list\" prints it")
        ->required();
    onLoadedArchive(*sub, options, context,
                    [options, &context](LoadedArchive& loaded, LogSink& log) {
        const ArchiveFile* entry = findFile(loaded.model, options->path);
        if (!entry) {
            std::cerr << "sga: " << printable(options->path) << ": no such file in the archive\n";
            context.exitCode = kFailed;
            return;
        }
        bool written = true;
        auto error = readEntryBytes(loaded, *entry, log, [&](const uint8_t* data, size_t size) {
            return written = std::fwrite(data, 1, size, stdout) == size;
        });
        if (!written || std::fflush(stdout) != 0) {
            std::cerr << "sga: cannot write to stdout\n";
            context.exitCode = kFailed;
        } else if (error) {
            std::cerr << "sga: " << printable(*error) << "\n";
            context.exitCode = kFailed;
        }
    });
}

} // namespace sga::cli
