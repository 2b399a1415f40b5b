// Subcommands that later work fills in; each refuses to run until then.
#include "cli/Commands.h"

#include <iostream>

namespace sga::cli {
namespace {
void addPending(CLI::App& app, Context& context, const char* name, const char* what) {
    auto* sub = app.add_subcommand(name, what);
    sub->allow_extras();
    sub->callback([&context, name] {
        std::cerr << "sga: " << name << " is not available in this build\n";
        context.exitCode = kFailed;
    });
}
} // namespace

void addExtractCommand(CLI::App& app, Context& c) { addPending(app, c, "extract", "Extract every entry"); }
void addCatCommand(CLI::App& app, Context& c) { addPending(app, c, "cat", "Write one entry to stdout"); }
void addVerifyCommand(CLI::App& app, Context& c) { addPending(app, c, "verify", "Check every entry"); }
void addImageCommand(CLI::App& app, Context& c) { addPending(app, c, "image", "Decode a picture entry"); }

} // namespace sga::cli
