#include "cli/Commands.h"

#include <iostream>

namespace sga::cli {

// Not built yet: refuses to run.
void addImageCommand(CLI::App& app, Context& context) {
    auto* sub = app.add_subcommand("image", "Decode a picture entry");
    sub->allow_extras();
    sub->callback([&context] {
        std::cerr << "sga: image is not available in this build\n";
        context.exitCode = kFailed;
    });
}

} // namespace sga::cli
