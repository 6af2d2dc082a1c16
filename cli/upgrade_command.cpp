// `orvane-cli upgrade IMAGE --port NAME [--port NAME ...]`: the dialog's firmware upgrade from
// a shell, with the dialog's defaults (address 1, 9600 and 9600 bits per second, main board);
// with several ports every camera at once, as a production line's station flashes them.
#include "cli/attempt_options.h"
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/exit_codes.h"
#include "cli/image_approval.h"
#include "cli/port_list_file.h"
#include "cli/same_port.h"
#include "cli/upgrade_session.h"
#include "station/station_image.h"
#include "text/string_table.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

namespace orvane {
namespace {

struct UpgradeOptions {
    UpgradeRequest request;
    std::string portsFrom;
    std::string approved;
    std::string language = "en";
    std::string target = "main";
    bool json = false;
    bool allowEmpty = false;
    RecordsChoice records;
};

UpgradeTarget targetNamed(const std::string& name) {
    if (name == "motor") {
        return UpgradeTarget::MotorBoard;
    }
    return name == "special" ? UpgradeTarget::Special : UpgradeTarget::MainBoard;
}

// With an approved list, the image read once must be on it for the board chosen, and those
// bytes are what every camera is sent: a file replaced after the check is never sent. Refused
// before any port is opened.
std::optional<std::string> approveImage(const UpgradeOptions& options, UpgradeRequest& request) {
    std::string error;
    auto image = loadStationImage(request.imagePath, error);
    if (!image) {
        return error;
    }
    if (auto refusal = imageRefusal(options.approved, image->sha256, options.target, request.imagePath,
                                    request.language)) {
        return refusal;
    }
    request.image = std::move(image->bytes);
    return std::nullopt;
}

int runUpgrade(const UpgradeOptions& options) {
    Console console(chooseOutputMode(options.json));
    UpgradeRequest request = options.request;
    request.target = targetNamed(options.target);
    request.language = languageNamed(options.language);
    if (!options.portsFrom.empty()) {
        const PortListFile listed = readPortListFile(options.portsFrom);
        if (!listed.error.empty()) {
            return console.result({exitUnusable, listed.error});
        }
        request.ports.insert(request.ports.end(), listed.ports.begin(), listed.ports.end());
    }
    if (request.ports.empty()) {
        return console.result(
            {exitUsage, "No port to upgrade: give --port NAME or --ports-from FILE with one port a line"});
    }
    if (const auto twice = samePortTwice(request.ports)) {
        return console.result({exitUsage, *twice});
    }
    // A 0-byte image is nearly always a failed download or copy; sent, it would "succeed" at
    // upgrading the camera with nothing.
    std::error_code error;
    if (!options.allowEmpty && std::filesystem::is_regular_file(request.imagePath, error) &&
        std::filesystem::file_size(request.imagePath, error) == 0 && !error) {
        const std::string message = "Image file " + request.imagePath +
                                    " is empty (0 bytes): nothing was sent. Check the download or copy; "
                                    "--allow-empty sends it all the same";
        return console.result({.exitCode = exitUnusable, .text = message, .details = {{"step", "image"}}});
    }
    if (!options.approved.empty()) {
        if (const auto refusal = approveImage(options, request)) {
            return console.result(
                {.exitCode = exitUnusable, .text = *refusal, .details = {{"step", "image"}}});
        }
    }
    OpenedBook records;
    if (const auto refused = openAttemptRecords(options.records, console, request.language, records)) {
        return *refused;
    }
    request.records = records.book.get();
    request.recordsRequired = options.records.required;
    const InterruptWatch interrupt;
    return runUpgradeSession(request, console, interrupt).exitStatus;
}

} // namespace

void addUpgradeCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<UpgradeOptions>();
    UpgradeRequest& request = options->request;
    CLI::App* command = app.add_subcommand(
        "upgrade", "Upgrade a camera board with a firmware image; with several ports, every camera at once");
    command->add_option("IMAGE", request.imagePath, "Firmware image file")->required();
    // One name per --port, so that `--port A IMAGE` still reads IMAGE as the image.
    command
        ->add_option(
            "--port", request.ports,
            "Serial port: ttyUSB0, /dev/ttyS0, COM1 ...; repeat it to upgrade several cameras at once")
        ->allow_extra_args(false);
    command->add_option("--ports-from", options->portsFrom,
                        "File with one serial port a line (# starts a comment)");
    addAddressOption(*command, request.address);
    addLineSpeedOption(*command, request.lineSpeed);
    addUpgradeSpeedOption(*command, request.upgradeSpeed);
    command->add_option("--target", options->target, "Board to upgrade: main, motor or special")
        ->check(CLI::IsMember({"main", "motor", "special"}))
        ->capture_default_str();
    command
        ->add_option("--max-resends", request.maxResends,
                     "Give up on a camera that refuses one block this many times (0: never, the default)")
        ->check(CLI::Range(0U, 1000000U))
        ->capture_default_str();
    command->add_option("--approved", options->approved,
                        "Refuse an image whose SHA-256 is not in this list (sha256sum lines, optionally "
                        "followed by the board: main, motor or special)");
    addLanguageOption(*command, options->language);
    command->add_flag("--json", options->json, "One JSON object per event on standard output");
    addLowLatencyOption(*command, request.lowLatency);
    command->add_flag("--allow-empty", options->allowEmpty,
                      "Send an empty (0-byte) image instead of refusing it");
    addAttemptOptions(*command, options->records,
                      "Where each camera's attempt is kept: a file, none, or a postgresql:// server "
                      "(default: this desk's records file)");
    command->callback([options, &status] { status = runUpgrade(*options); });
}

} // namespace orvane
