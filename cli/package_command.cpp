#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace orvane {

void addPackageCommand(CLI::App& app, int& status) {
    CLI::App* command = app.add_subcommand("package", "package");
    command->callback([&status] { status = exitFailed; });
}

} // namespace orvane
