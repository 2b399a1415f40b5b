#include "cli/Interrupt.h"
#include "cli/Commands.h"

#include "core/ActivityLog.h"
#include "core/TerminalText.h"
#include "extract/Pack.h"

#include <cstdlib>
#include <iostream>

namespace sga::cli {

void addPackCommand(CLI::App& app, Context& context) {
    struct Options {
        std::string folder;
        std::string output;
        std::string layout;
        std::string verification;
        uint32_t blockSize = 32768;
        std::string storage;
        bool force = false;
        std::string name;
        std::string alias = "Data";
        std::vector<std::string> drives;
        int level = 9;
        int jobs = defaultJobs();
        bool keepCase = false;
        std::optional<int64_t> mtime;
        std::string logFile;
    };
    auto o = std::make_shared<Options>();
    auto* sub = app.add_subcommand("pack", "Pack folders into an archive of version 2, 4, 5, 7, 9 or 10");
    sub->add_option("FOLDER", o->folder, "Folder to pack as the drive given by --alias");
    sub->add_option("-o,--output", o->output, "Archive file to write (.big or .sga)")->required();
    sub->add_option("--layout", o->layout,
                    "hw2 or v2 (17-byte records), dow or v2-wide (20-byte records), v4, v5, v7, v9 or v10")
        ->check(CLI::IsMember({"hw2", "v2", "dow", "v2-wide", "v4", "v5", "v7", "v9", "v10"}));
    sub->add_option("--verification", o->verification,
                    "From v7: none, crc (default), block-crc, block-md5 or block-sha1")
        ->check(CLI::IsMember({"none", "crc", "block-crc", "block-md5", "block-sha1"}));
    sub->add_option("--block-size", o->blockSize, "Bytes per block of the block hashes (default: 32768)")
        ->check(CLI::Range(4096u, 1u << 30));
    sub->add_option("--storage", o->storage, "v10: zlib (default) or brotli")
        ->check(CLI::IsMember({"zlib", "brotli"}));
    sub->add_flag("--force", o->force, "Replace a read-only target");
    sub->add_option("--name", o->name, "Archive name in the header (default: the file name)");
    sub->add_option("--alias", o->alias, "Drive alias of FOLDER (default: Data)");
    sub->add_option("--drive", o->drives, "A further drive, as ALIAS=FOLDER (repeatable)");
    sub->add_option("--level", o->level, "Compression level, 1 to 12 (default: 9)")
        ->check(CLI::Range(1, 12));
    sub->add_option("-j,--jobs", o->jobs, "Files compressed in parallel (default: one per core)")
        ->check(CLI::Range(1, 64));
    sub->add_flag("--keep-case", o->keepCase, "Store names as they are instead of in lower case");
    sub->add_option("--mtime", o->mtime, "Modification time of every file, in Unix seconds");
    sub->add_option("--log", o->logFile, "Write one line per packed file to FILE (started afresh)");
    sub->callback([o, sub, &context] {
        PackOptions options;
        options.target = o->output;
        options.layout = o->layout.empty() ? defaultPackLayout(options.target) : *packLayoutNamed(o->layout);
        const bool hashes = pack::factsOf(options.layout).verification;
        options.archiveName = o->name;
        options.level = o->level;
        options.jobs = o->jobs;
        options.keepCase = o->keepCase;
        auto fail = [&](const std::string& message) {
            std::cerr << "sga: " << printable(message) << "\n";
            context.exitCode = kFailed;
        };
        if (!o->verification.empty()) {
            if (!hashes) return fail("--verification needs --layout v7, v9 or v10");
            options.verification = *packVerificationNamed(o->verification);
        }
        if (sub->count("--block-size") != 0 && !hashes) return fail("--block-size needs --layout v7, v9 or v10");
        options.blockSize = o->blockSize;
        if (o->storage == "brotli") {
            if (options.layout != PackLayout::V10) return fail("--storage brotli needs --layout v10");
            options.storage = PackStorage::Brotli;
        }
        options.force = o->force;
        std::string error;
        if (!chooseMtime(o->mtime, std::getenv("SOURCE_DATE_EPOCH"), options.mtime, error))
            return fail(error);
        if (!o->folder.empty()) options.drives.push_back({o->alias, o->folder});
        for (const std::string& d : o->drives) {
            const auto eq = d.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == d.size())
                return fail("--drive \"" + d + "\": expected ALIAS=FOLDER");
            options.drives.push_back({d.substr(0, eq), d.substr(eq + 1)});
        }
        if (options.drives.empty()) return fail("nothing to pack: give FOLDER or --drive ALIAS=FOLDER");
        std::unique_ptr<LogSink> log = std::make_unique<NullLog>();
        if (!o->logFile.empty()) {
            auto file = std::make_unique<ActivityLog>(o->logFile);
            file->restart();
            log = std::move(file);
        }
        // Ctrl-C or a termination signal stops the pack and removes the temporary archive.
        const InterruptScope interrupts;
        InterruptibleHost host;
        const PackReport report = packArchive(options, *log, host);
        for (const std::string& w : report.warnings) std::cerr << "sga: warning: " << printable(w) << "\n";
        if (!report.ok) fail(report.error);
        // A pack stopped by a signal ends as the shell expects of one: 128 + its number.
        if (!report.ok && InterruptScope::caught() != 0)
            context.exitCode = exitStatusForSignal(InterruptScope::caught());
    });
}

} // namespace sga::cli
