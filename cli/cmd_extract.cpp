#include "cli/Commands.h"

#include <iostream>

namespace sga::cli {

// Not built yet: refuses to run.
void addExtractCommand(CLI::App& app, Context& context) {
    auto* sub = app.add_subcommand("extract", "Extract every entry");
    sub->allow_extras();
    sub->callback([&context] {
        std::cerr << "sga: extract is not available in this build\n";
        context.exitCode = kFailed;
    });
}

} // namespace sga::cli
