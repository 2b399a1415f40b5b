#include "cli/Commands.h"

#include <iostream>

namespace sga::cli {

// Not built yet: refuses to run.
void addCatCommand(CLI::App& app, Context& context) {
    auto* sub = app.add_subcommand("cat", "Write one entry to stdout");
    sub->allow_extras();
    sub->callback([&context] {
        std::cerr << "sga: cat is not available in this build\n";
        context.exitCode = kFailed;
    });
}

} // namespace sga::cli
