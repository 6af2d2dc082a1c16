// `orvane-cli simulate` on Windows: the virtual camera lives on a pseudo-terminal, which
// Windows does not have. The command is still known, so that a script learns why it fails.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "output/console.h"

#include <CLI/CLI.hpp>

namespace orvane {

void addSimulateCommand(CLI::App& app, int& status) {
    CLI::App* command =
        app.add_subcommand("simulate", "Run a virtual camera (Linux only: it needs a pseudo-terminal)");
    command->allow_extras();
    command->callback([&status] {
        Console console(OutputMode::Plain);
        status = console.finish(console.result(
            {exitUsage, "orvane-cli: simulate needs a pseudo-terminal, which Windows does not have: run it "
                        "on Linux (orvane-cli demo runs a virtual camera here)"}));
    });
}

} // namespace orvane
