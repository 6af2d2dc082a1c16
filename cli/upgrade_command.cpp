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
#include "station/unit_label.h"
#include "text/string_table.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
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
    bool allowAnyImage = false;
    std::optional<std::string> unit; // as given; checked before any port is opened
    RecordsChoice records;
};

// The camera's label from --unit: one camera only, and a label that may be kept.
std::optional<int> takeUnit(const UpgradeOptions& options, UpgradeRequest& request, Console& console) {
    if (!options.unit) {
        return std::nullopt;
    }
    if (request.ports.size() != 1) {
        return console.result({exitUsage, "--unit names one camera: give it with a single --port"});
    }
    LabelCheck check = checkUnitLabel(*options.unit, request.language);
    if (!check.label) {
        return console.result({exitUsage, "--unit: " + check.refusal});
    }
    request.unit = std::move(check.label);
    return std::nullopt;
}

int runUpgrade(const UpgradeOptions& options, Console& console) {
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
    if (const auto refused = takeUnit(options, request, console)) {
        return *refused;
    }
    // Read once before any port is opened: every camera is sent these bytes, and a file
    // replaced after the checks is never sent.
    std::optional<FirmwareImage> image;
    const ImageChoice choice{request.imagePath, options.approved, options.target,
                             ImageRules{options.allowEmpty, options.allowAnyImage}, request.language};
    if (const auto refused = acceptImage(choice, console, image)) {
        return *refused;
    }
    request.image = std::move(image->bytes);
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
    addAllowAnyImageOption(*command, options->allowAnyImage);
    command->add_option("--unit", options->unit,
                        "The camera's label (a serial number), kept in its record; one --port only");
    addAttemptOptions(*command, options->records,
                      "Where each camera's attempt is kept: a file, none, or a postgresql:// server "
                      "(default: this desk's records file)");
    command->callback([options, &status] {
        Console console(chooseOutputMode(options->json));
        status = console.finish(runUpgrade(*options, console));
    });
}

} // namespace orvane
