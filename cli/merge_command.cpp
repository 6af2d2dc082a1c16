#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace orvane {

void addMergeCommand(CLI::App& app, int& status) {
    CLI::App* command = app.add_subcommand("merge", "merge");
    command->callback([&status] { status = exitFailed; });
}

} // namespace orvane
