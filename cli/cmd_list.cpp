#include "cli/Commands.h"

#include "core/Cp1252.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"

#include <cstdio>

namespace sga::cli {

void addListCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        bool longFormat = false;
        bool tree = false;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand("list", "List the file entries, one path a line");
    addCommonOptions(*sub, *options);
    auto* longFlag = sub->add_flag("-l,--long", options->longFormat,
                                   "Also show stored size, original size and compression");
    sub->add_flag("--tree", options->tree,
                  "Print every tree node instead: key, TAB, text, TAB, parent key")
        ->excludes(longFlag);
    onLoadedArchive(*sub, options, context,
                    [options](LoadedArchive& loaded, LogSink&) {
        if (options->tree) {
            const auto& nodes = loaded.tree.nodes();
            for (const auto& node : nodes) {
                const std::string parent =
                    node.parent < 0 ? std::string() : nodes[static_cast<size_t>(node.parent)].key;
                std::printf("%s\t%s\t%s\n", printable(modelTextToUtf8(loaded.model, node.key)).c_str(),
                            printable(modelTextToUtf8(loaded.model, node.text)).c_str(),
                            printable(modelTextToUtf8(loaded.model, parent)).c_str());
            }
            return;
        }
        const ArchiveModel& model = loaded.model;
        for (const ArchiveFile& f : model.files) {
            const std::string path = printable(modelTextToUtf8(model, f.path()));
            if (options->longFormat) {
                std::printf("%10lld %10lld %-7s %s\n", static_cast<long long>(f.storedSize),
                            static_cast<long long>(f.size), std::string(storageName(f.storage)).c_str(),
                            path.c_str());
            } else {
                std::printf("%s\n", path.c_str());
            }
        }
    });
}

} // namespace sga::cli
