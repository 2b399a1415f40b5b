#pragma once
// The subcommands of the sga command line. Each adds itself to the app and
// records its exit status in the shared context when it runs.

#include "archive/ArchiveOpen.h"
#include "extract/EntryReader.h"
#include "extract/OrderedPipeline.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sga {
class LogSink;
}

namespace sga::cli {

enum ExitCode : int { kOk = 0, kFailed = 1, kUsage = 2 };

struct Context {
    int exitCode = kOk;
};

// Options every subcommand shares.
struct CommonOptions {
    std::string archive;
    std::string logFile;
};
void addCommonOptions(CLI::App& sub, CommonOptions& options);

// The log the run writes: the file named by --log (started afresh) or nothing.
std::unique_ptr<LogSink> openRunLog(const CommonOptions& options);

using LoadedArchive = OpenedArchive;
// Loads the archive; on failure prints the reason to stderr and returns nothing.
std::optional<LoadedArchive> loadArchive(const std::string& path, LogSink& log);

// Runs body with the loaded archive and the run's log when the subcommand is
// chosen; an archive that cannot be loaded ends the run with status 1.
void onLoadedArchive(CLI::App& sub, std::shared_ptr<const CommonOptions> options, Context& context,
                     std::function<void(LoadedArchive&, LogSink&)> body);

// The file whose path, as "sga list" prints it, is utf8Path ("/" may stand
// for "\"; letters may differ in case when only one file matches); null when
// there is none.
const ArchiveFile* findFile(const ArchiveModel& model, const std::string& utf8Path);

// Reads one file's bytes (decoded) from the archive into bytes; an entry
// too large to hold in memory is refused. On failure returns the reason,
// ready for stderr.
std::optional<std::string> readEntryBytes(const LoadedArchive& loaded, const ArchiveFile& file,
                                          LogSink& log, std::vector<uint8_t>& bytes);
// The same bytes handed to onBytes, any size: in one piece, or chunk by
// chunk for an entry too large to hold whole (some chunks may precede a
// failure).
std::optional<std::string> readEntryBytes(const LoadedArchive& loaded, const ArchiveFile& file,
                                          LogSink& log, const ChunkSink& onBytes);

// Says "sga: REASON" on stderr and sets the failed exit status.
void failCommand(Context& context, const std::string& reason);

// The decoded bytes of the entry named path (as "sga list" prints it); when
// there is none or it cannot be read, says why on stderr, sets the exit
// status and returns nothing.
std::optional<std::vector<uint8_t>> readNamedEntry(const LoadedArchive& loaded, const std::string& path,
                                                   LogSink& log, Context& context);

void addInfoCommand(CLI::App& app, Context& context);
void addListCommand(CLI::App& app, Context& context);
void addExtractCommand(CLI::App& app, Context& context);
void addCatCommand(CLI::App& app, Context& context);
void addVerifyCommand(CLI::App& app, Context& context);
void addImageCommand(CLI::App& app, Context& context);
void addPackCommand(CLI::App& app, Context& context);
void addDiffCommand(CLI::App& app, Context& context);
void addGrepCommand(CLI::App& app, Context& context);
void addChunkyCommand(CLI::App& app, Context& context);
void addRgdCommand(CLI::App& app, Context& context);

} // namespace sga::cli
