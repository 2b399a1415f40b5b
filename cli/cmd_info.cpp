#include "cli/Commands.h"

#include "core/Cp1252.h"
#include "archive/modSGA.h"
#include "core/ActivityLog.h"

#include <cstdio>

namespace sga::cli {

void addInfoCommand(CLI::App& app, Context& context) {
    auto options = std::make_shared<CommonOptions>();
    auto* sub = app.add_subcommand("info", "Show the archive's header and counts");
    addCommonOptions(*sub, *options);
    onLoadedArchive(*sub, options, context,
                    [](LoadedArchive& loaded, LogSink&) {
        const ArchiveIndex& idx = loaded.index;
        const char* kind = idx.version == 1   ? " (Impossible Creatures .sga)"
                           : idx.version == 2 ? " (Homeworld 2 .big)"
                                              : " (unknown, read as version 1)";
        const int files = idx.totalEntries() - idx.dirCount();
        std::printf("Version:      %d%s\n", idx.version, kind);
        std::printf("Archive name: %s\n", cp1252ToUtf8(stripNuls(idx.archiveName)).c_str());
        std::printf("Data offset:  %d\n", idx.dataOffset);
        std::printf("Directories:  %d\n", idx.dirCount());
        std::printf("Files:        %d\n", files);
        std::printf("Entries:      %d\n", idx.totalEntries());
        std::printf("File records: %d\n", idx.myEngineData.noOfChunks);
    });
}

} // namespace sga::cli
