// orvane-cli: the firmware upgrade, the PTZ test frames, the HEX merge, the device image
// packager, the virtual camera and the records of upgrades from a shell, for production lines,
// scripts and SSH.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "cli/utf8_command_line.h"
#include "output/console.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace {

// A command line that asks for JSON gets its usage error as a result event too.
bool asksForJson(std::span<char*> args) {
    for (const std::string_view arg : args) {
        if (arg == "--") {
            break;
        }
        if (arg == "--json") {
            return true;
        }
    }
    return false;
}

// The first word that is no option names the subcommand (the program's own options take no
// values). An unknown one is named here: CLI11 would take it for a stray argument and answer
// "A subcommand is required", or show the main help for `bogus --help`.
std::optional<std::string> unknownCommand(const CLI::App& app, std::span<char*> args) {
    for (const std::string_view arg : args) {
        if (arg.empty() || arg.front() != '-') {
            std::string known;
            for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
                if (command->get_name() == arg) {
                    return std::nullopt;
                }
                known += (known.empty() ? "" : ", ") + command->get_name();
            }
            return "orvane-cli: unknown command " + std::string(arg) + " (the commands are " + known + ")";
        }
    }
    return std::nullopt;
}

} // namespace

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
    app.footer(
        "Exit status: 0 success, 1 an upgrade failed or an input file was refused, 2 bad usage,\n"
        "3 an input file or port could not be used, 130 interrupted (Ctrl-C), 129 hang-up, 143 terminated.");

    int status = orvane::exitSuccess;
    orvane::addPortsCommand(app, status);
    orvane::addUpgradeCommand(app, status);
    orvane::addPtzCommand(app, status);
    orvane::addMergeCommand(app, status);
    orvane::addPackageCommand(app, status);
    orvane::addSimulateCommand(app, status);
    orvane::addDemoCommand(app, status);
    orvane::addRecordsCommand(app, status);
    orvane::addDoctorCommand(app, status);
    orvane::addStationCommand(app, status);
    orvane::addLineCommand(app, status);
    orvane::addJobCommand(app, status);

    const std::span<char*> args(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0));
    orvane::Console console(asksForJson(args) ? orvane::OutputMode::Json : orvane::OutputMode::Plain);
    if (const auto unknown = unknownCommand(app, args)) {
        return console.result({orvane::exitUsage, *unknown});
    }
    try {
        app.parse(commandLine.argc(), commandLine.argv());
    } catch (const CLI::ParseError& e) {
        // --help and --version end here too, with status 0 and nothing more to say.
        if (app.exit(e) == 0) {
            return orvane::exitSuccess;
        }
        return console.result({.exitCode = orvane::exitUsage, .text = e.what(), .shown = true});
    } catch (const std::exception& e) {
        return console.result({orvane::exitFailed, std::string("orvane-cli: ") + e.what()});
    }
    return status;
}
