#include "cli/Commands.h"
#include "cli/Scripting.h"

#include "core/Cp1252.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"

#include <cstdio>
#include <iostream>

namespace sga::cli {
namespace {

Json fileJson(const ArchiveModel& model, const ArchiveFile& f, const std::string& path) {
    Json line;
    line["path"] = jsonText(path, "path");
    line["size"] = f.size;
    line["stored"] = f.storedSize;
    line["storage"] = std::string(storageName(f.storage));
    const auto crc = knownCrcOfBytes(model, f);
    line["crc32"] = crc ? Json(crcHex(*crc)) : Json(nullptr);
    line["mtime"] = f.hasMtime ? Json(f.mtime) : Json(nullptr);
    return line;
}

} // namespace

void addListCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        bool longFormat = false;
        bool tree = false;
        bool json = false;
        SelectionOptions selection;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand("list", "List the file entries, one path a line");
    addCommonOptions(*sub, *options);
    auto* patterns = addSelectionOptions(*sub, options->selection);
    auto* longFlag = sub->add_flag("-l,--long", options->longFormat,
                                   "Also show stored size, original size and compression");
    auto* jsonFlag = sub->add_flag("--json", options->json,
                                   "JSON Lines: one object a file with path, size, stored, storage, crc32, mtime")
                         ->excludes(longFlag);
    sub->add_flag("--tree", options->tree,
                  "Print every tree node instead: key, TAB, text, TAB, parent key")
        ->excludes(longFlag)
        ->excludes(jsonFlag)
        ->excludes(patterns)
        ->excludes("--exclude");
    onLoadedArchive(*sub, options, context,
                    [options, &context](LoadedArchive& loaded, LogSink&) {
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
        const auto selected = selectFiles(model, options->selection);
        if (!selected) {
            std::cerr << "sga: " << selected.message() << "\n";
            context.exitCode = kFailed;
            return;
        }
        for (size_t i : *selected) {
            const ArchiveFile& f = model.files[i];
            const std::string raw = modelTextToUtf8(model, f.path());
            const std::string path = printable(raw);
            if (options->json) {
                writeJsonLine(fileJson(model, f, raw));
            } else if (options->longFormat) {
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
