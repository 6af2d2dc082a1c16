// `orvane-cli records` where the program is built without records (the records room is not
// built for this system yet). The command is still known, so that a script learns why it
// fails.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"

#include <CLI/CLI.hpp>

namespace orvane {

void addRecordsCommand(CLI::App& app, int& status) {
    CLI::App* command =
        app.add_subcommand("records", "List the upgrade attempts kept (not on this system yet)");
    command->allow_extras();
    command->callback([&status] {
        Console console(OutputMode::Plain);
        status =
            console.result({exitUsage, "orvane-cli: this build keeps no records, so it has none to list"});
    });
}

} // namespace orvane
