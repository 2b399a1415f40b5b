#include "cli/Commands.h"

#include "extract/EntryReader.h"
#include "core/ActivityLog.h"
#include "core/TerminalText.h"
#include "preview/TextEntry.h"
#include "preview/Ucs.h"

#include <cstdio>
#include <iostream>

namespace sga::cli {

void addCatCommand(CLI::App& app, Context& context) {
    struct Options : CommonOptions {
        std::string path;
        bool text = false;
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand("cat", "Write one entry's bytes to stdout");
    addCommonOptions(*sub, *options);
    sub->add_option("PATH", options->path, "The entry's path as \"sga list\" prints it")
        ->required();
    sub->add_flag("--text", options->text, "Write a .ucs entry (UTF-16) as UTF-8 text; other entries as they are");
    onLoadedArchive(*sub, options, context,
                    [options, &context](LoadedArchive& loaded, LogSink& log) {
        const ArchiveFile* entry = findFile(loaded.model, options->path);
        if (!entry) {
            std::cerr << "sga: " << printable(options->path) << ": no such file in the archive\n";
            context.exitCode = kFailed;
            return;
        }
        bool written = true;
        auto write = [&](const void* data, size_t size) {
            return written = std::fwrite(data, 1, size, stdout) == size;
        };
        // --text: UTF-16 decoded on the way, whole or chunk by chunk.
        const bool decode = options->text && textKindOf(entry->path()) == TextKind::Ucs;
        Utf16leDecoder decoder;
        bool first = true, utf16 = false;
        std::string decoded;
        auto error = readEntryBytes(loaded, *entry, log, [&](const uint8_t* data, size_t size) {
            if (first) utf16 = decode && looksLikeUtf16le(data, size), first = false;
            if (!utf16) return write(data, size);
            decoded.clear();
            decoder.feed(data, size, decoded);
            return write(decoded.data(), decoded.size());
        });
        if (!error && utf16) {
            decoded.clear();
            decoder.finish(decoded);
            write(decoded.data(), decoded.size());
        }
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
