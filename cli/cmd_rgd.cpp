// sga rgd: an RGD entry's keys and values as Lua assignments, JSON or text
// lines, with key names from dictionaries and from the archive's strings.
#include "cli/Commands.h"

#include "cli/RgdDictionaries.h"
#include "core/ActivityLog.h"
#include "preview/EntryDecoders.h"
#include "preview/RgdFormat.h"

#include <iostream>
#include <map>

namespace sga::cli {
namespace {

// Names keys after the string values of every RGD entry of the archive (its
// first generation): a key equal to such a string's hash is that string.
void learnFromArchive(const LoadedArchive& loaded, LogSink& log, RgdDictionary& dictionary) {
    std::vector<uint8_t> bytes;
    for (const ArchiveFile& file : loaded.model.files) {
        const EntryDecoder* row = findEntryDecoder(file.name);
        if (!row || row->view != EntryView::Attributes) continue;
        if (readEntryBytes(loaded, file, log, bytes)) continue;   // unreadable entries teach nothing
        if (const auto rgd = readRgd(bytes)) dictionary.learnFrom(*rgd);
    }
}

} // namespace

void addRgdCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        std::string path;
        std::string format = "lua";
        std::vector<std::string> dictionaries;
        bool noLearning = false;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand("rgd", "Print an RGD attribute entry as Lua, JSON or text");
    addCommonOptions(*sub, *options);
    sub->add_option("PATH", options->path, "The entry's path as \"sga list\" prints it")->required();
    sub->add_option("--format", options->format,
                    "lua (GameData[\"key\"] = value, the default), json (nested objects) or text (path.to.key = value)")
        ->check(CLI::IsMember({"lua", "json", "text"}));
    sub->add_option("--dictionary", options->dictionaries,
                    "A #RGD_DIC file of key names (repeatable); the files in $XDG_DATA_HOME/sga/dictionaries "
                    "are read too");
    sub->add_flag("--no-learn", options->noLearning,
                  "Do not name keys after the string values of the archive's RGD entries");
    onLoadedArchive(*sub, options, context, [options, &context](LoadedArchive& loaded, LogSink& log) {
        const auto fail = [&context](const std::string& reason) { failCommand(context, reason); };
        const auto bytes = readNamedEntry(loaded, options->path, log, context);
        if (!bytes) return;
        const auto file = readRgd(*bytes);
        if (!file) return fail(options->path + ": " + file.message());
        RgdDictionary dictionary = loadRgdDictionaries(options->dictionaries);
        if (!options->noLearning && !file->secondGeneration) learnFromArchive(loaded, log, dictionary);
        const RgdOutput output = options->format == "json"   ? RgdOutput::Json
                                 : options->format == "text" ? RgdOutput::Text
                                                             : RgdOutput::Lua;
        std::cout << formatRgd(*file, dictionary, output);
    });
}

} // namespace sga::cli
