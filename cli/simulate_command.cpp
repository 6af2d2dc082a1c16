#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace orvane {

void addSimulateCommand(CLI::App& app, int& status) {
    CLI::App* command = app.add_subcommand("simulate", "simulate");
    command->callback([&status] { status = exitFailed; });
}

} // namespace orvane
