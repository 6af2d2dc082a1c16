#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace orvane {

void addDemoCommand(CLI::App& app, int& status) {
    CLI::App* command = app.add_subcommand("demo", "demo");
    command->callback([&status] { status = exitFailed; });
}

} // namespace orvane
