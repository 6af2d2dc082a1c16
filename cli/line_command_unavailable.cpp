// A build without the line's page (Windows, whose build keeps no records on a line's
// PostgreSQL server): the command is there, so a script gets a plain answer.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "output/console.h"

#include <CLI/CLI.hpp>

namespace orvane {

void addLineCommand(CLI::App& app, int& status) {
    CLI::App* command = app.add_subcommand("line", "The line's page (Linux only: not in this build)");
    command->allow_extras();
    command->callback([&status] {
        Console console(OutputMode::Plain);
        status = console.result({exitUsage, "line: the line's page is a Linux feature, not in this build"});
    });
}

} // namespace orvane
