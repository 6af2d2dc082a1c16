// `orvane-cli ports`: the serial ports this machine offers, one name per line, in the order
// the dialog lists them. No ports: no lines, and still success.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "serial/port_list.h"

namespace orvane {
namespace {

int runPorts() {
    std::vector<std::string> names;
    if (gatherPortNames(names) < 0) {
        // No sysfs (a container without /sys): nothing to list, which is what the user sees.
        return exitSuccess;
    }
    for (const std::string& name : names) {
        std::printf("%s\n", name.c_str());
    }
    return exitSuccess;
}

} // namespace

void addPortsCommand(CLI::App& app, int& status) {
    CLI::App* command = app.add_subcommand("ports", "List the serial ports of this machine");
    command->callback([&status] { status = runPorts(); });
}

} // namespace orvane
