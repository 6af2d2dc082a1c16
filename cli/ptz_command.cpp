// `orvane-cli ptz ACTION --port NAME`: one PTZ test frame on the line, as the dialog's test
// buttons send it, so a technician can check that the camera moves.
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/exit_codes.h"
#include "output/console.h"
#include "ptz/ptz_frames.h"
#include "serial/port_open_failure.h"
#include "serial/serial_port.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>

namespace orvane {
namespace {

struct PtzOptions {
    std::string action;
    std::string port;
    int speed = defaultSpeed;
};

int runPtz(const PtzOptions& options, Console& console) {
    const std::optional<PtzButton> button = ptzButtonNamed(options.action);
    if (!button) {
        return console.result({exitUsage, "unknown action " + options.action});
    }
    SerialPort port;
    if (port.openPort(options.port, options.speed, parityNone, 8, oneStopBit) != 1) {
        return console.result(
            {exitUnusable, openFailureMessage(options.port, port.lastError(), TextLanguage::English)});
    }
    // HOME has no frame: the port is still opened, so a wrong port name shows here too.
    // A frame that did not go out whole is said, not passed off as sent.
    std::size_t missing = 0;
    pressPtzButton(*button, [&port, &missing](std::span<const std::uint8_t> frame) {
        const int written = port.writePort(frame);
        missing = frame.size() - static_cast<std::size_t>(std::max(written, 0));
    });
    port.closePort();
    if (missing != 0) {
        return console.result({exitUnusable, "Cannot write to serial port " + options.port + ": " +
                                                 std::to_string(missing) +
                                                 " bytes of the frame did not go out"});
    }
    return exitSuccess;
}

} // namespace

void addPtzCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<PtzOptions>();
    CLI::App* command = app.add_subcommand("ptz", "Send one PTZ test frame (Pelco-D, address 1, speed 0x1E)");
    command->add_option("ACTION", options->action, "left right up down home stop tele wide near far")
        ->required()
        ->check(
            CLI::IsMember({"left", "right", "up", "down", "home", "stop", "tele", "wide", "near", "far"}));
    command->add_option("--port", options->port, "Serial port: ttyUSB0, /dev/ttyS0, COM1 ...")->required();
    addLineSpeedOption(*command, options->speed);
    command->callback([options, &status] {
        Console console(chooseOutputMode(false));
        status = console.finish(runPtz(*options, console));
    });
}

} // namespace orvane
