// `orvane-cli upgrade IMAGE --port NAME`: the dialog's firmware upgrade from a shell, with the
// dialog's defaults (address 1, 9600 and 9600 bits per second, main board).
#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>
#include <system_error>

#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/exit_codes.h"
#include "cli/upgrade_session.h"

namespace orvane {
namespace {

struct UpgradeOptions {
    UpgradeRequest request;
    std::string language = "en";
    std::string target = "main";
    bool json = false;
    bool allowEmpty = false;
};

UpgradeTarget targetNamed(const std::string& name) {
    if (name == "motor") {
        return UpgradeTarget::MotorBoard;
    }
    return name == "special" ? UpgradeTarget::Special : UpgradeTarget::MainBoard;
}

int runUpgrade(const UpgradeOptions& options) {
    const TextLanguage language = languageNamed(options.language);
    Console console(chooseOutputMode(options.json));
    const InterruptWatch interrupt;
    UpgradeRequest request = options.request;
    request.target = targetNamed(options.target);
    // A 0-byte image is nearly always a failed download or copy; sent, it would "succeed" at
    // upgrading the camera with nothing.
    std::error_code error;
    if (!options.allowEmpty && std::filesystem::is_regular_file(request.imagePath, error) &&
        std::filesystem::file_size(request.imagePath, error) == 0 && !error) {
        const std::string message = "Image file " + request.imagePath +
                                    " is empty (0 bytes): nothing was sent. Check the download or copy; "
                                    "--allow-empty sends it all the same";
        console.error(message);
        console.event(JsonObject()
                          .add("event", "result")
                          .add("ok", false)
                          .add("exitCode", exitUnusable)
                          .add("text", message)
                          .add("reason", message)
                          .add("step", "image"));
        return exitUnusable;
    }
    return runUpgradeSession(request, console, language, interrupt);
}

} // namespace

void addUpgradeCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<UpgradeOptions>();
    UpgradeRequest& request = options->request;
    CLI::App* command = app.add_subcommand("upgrade", "Upgrade a camera board with a firmware image");
    command->add_option("IMAGE", request.imagePath, "Firmware image file")->required();
    command->add_option("--port", request.portName, "Serial port: ttyUSB0, /dev/ttyS0, COM1 ...")->required();
    addAddressOption(*command, request.address);
    addLineSpeedOption(*command, request.lineSpeed);
    addUpgradeSpeedOption(*command, request.upgradeSpeed);
    command->add_option("--target", options->target, "Board to upgrade: main, motor or special")
        ->check(CLI::IsMember({"main", "motor", "special"}))
        ->capture_default_str();
    addLanguageOption(*command, options->language);
    command->add_flag("--json", options->json, "One JSON object per event on standard output");
    addLowLatencyOption(*command, request.lowLatency);
    command->add_flag("--allow-empty", options->allowEmpty, "Send an empty (0-byte) image instead of refusing it");
    command->callback([options, &status] { status = runUpgrade(*options); });
}

} // namespace orvane
