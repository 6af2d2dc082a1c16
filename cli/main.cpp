// orvane-cli: the firmware upgrade, the PTZ test frames, the HEX merge, the device image
// packager and the virtual camera from a shell, for production lines, scripts and SSH.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/utf8_command_line.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    orvane::ignoreBrokenPipes();
    const orvane::Utf8CommandLine commandLine(argc, argv);

    CLI::App app{"Orvane: firmware upgrades and tests for PTZ conference cameras over a serial line",
                 "orvane-cli"};
    app.set_version_flag("--version", std::string("orvane-cli ") + ORVANE_VERSION);
    app.require_subcommand(1);
    // Options start with '-' everywhere: on Windows a path such as /data/fw.bin is a file, not
    // a "/option" of the Windows style.
    app.allow_windows_style_options(false);
    app.footer("Exit status: 0 success, 1 an upgrade failed or an input file was refused, 2 bad usage,\n"
               "3 an input file or port could not be used, 130 interrupted (Ctrl-C).");

    int status = orvane::exitSuccess;
    orvane::addPortsCommand(app, status);
    orvane::addUpgradeCommand(app, status);
    orvane::addPtzCommand(app, status);
    orvane::addMergeCommand(app, status);
    orvane::addPackageCommand(app, status);
    orvane::addSimulateCommand(app, status);
    orvane::addDemoCommand(app, status);

    try {
        app.parse(commandLine.argc(), commandLine.argv());
    } catch (const CLI::ParseError& e) {
        // --help and --version end here too, with status 0.
        return app.exit(e) == 0 ? orvane::exitSuccess : orvane::exitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvane-cli: %s\n", e.what());
        return orvane::exitFailed;
    }
    return status;
}
