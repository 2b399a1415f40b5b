// sga chunky: the chunk tree of a Relic Chunky entry, one chunk a line
// indented by depth, or as nested JSON objects.
#include "cli/Commands.h"

#include "core/ActivityLog.h"
#include "core/TerminalText.h"
#include "preview/ChunkyReader.h"

#include <nlohmann/json.hpp>

#include <iostream>

namespace sga::cli {
namespace {

void printTree(const std::vector<ChunkyChunk>& chunks, int depth, std::string& out) {
    for (const ChunkyChunk& chunk : chunks) {
        out += std::string(2 * depth, ' ') + printable(describeChunk(chunk)) + "\n";
        printTree(chunk.children, depth + 1, out);
    }
}

nlohmann::ordered_json treeJson(const std::vector<ChunkyChunk>& chunks) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ChunkyChunk& chunk : chunks)
        list.push_back({{"kind", chunk.kind},
                        {"id", chunk.id},
                        {"version", chunk.version},
                        {"name", chunk.name},
                        {"size", chunk.size},
                        {"offset", chunk.offset},
                        {"children", treeJson(chunk.children)}});
    return list;
}

} // namespace

void addChunkyCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        std::string path;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand("chunky", "Print the chunk tree of a Relic Chunky entry");
    addCommonOptions(*sub, *options);
    sub->add_option("PATH", options->path, "The entry's path as \"sga list\" prints it")->required();
    sub->add_flag("--json", options->json,
                  "Print the tree as JSON: an array of objects with kind, id, version, name, size, offset, children");
    onLoadedArchive(*sub, options, context, [options, &context](LoadedArchive& loaded, LogSink& log) {
        const auto fail = [&context](const std::string& reason) { failCommand(context, reason); };
        const auto bytes = readNamedEntry(loaded, options->path, log, context);
        if (!bytes) return;
        const auto file = readChunky(*bytes);
        if (!file) return fail(options->path + ": " + file.message());
        std::string out;
        if (options->json)
            out = treeJson(file->chunks).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
        else
            printTree(file->chunks, 0, out);
        std::cout << out;
    });
}

} // namespace sga::cli
