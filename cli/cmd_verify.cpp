#include "cli/Commands.h"

#include <iostream>

namespace sga::cli {

// Not built yet: refuses to run.
void addVerifyCommand(CLI::App& app, Context& context) {
    auto* sub = app.add_subcommand("verify", "Check every entry");
    sub->allow_extras();
    sub->callback([&context] {
        std::cerr << "sga: verify is not available in this build\n";
        context.exitCode = kFailed;
    });
}

} // namespace sga::cli
