// `orvane-cli package --type 1|2|3 RAW`: the raw image behind its "ABUF" type header, written
// as a .dev file beside it (or where --output says).
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/exit_codes.h"
#include "imagetools/device_image.h"
#include "output/console.h"
#include "text/string_table.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace orvane {
namespace {

struct PackageOptions {
    int type = 0;
    std::string rawPath;
    std::string outputPath;
    std::string language = "en";
    bool json = false;
};

int runPackage(const PackageOptions& options, Console& console) {
    const TextLanguage language = languageNamed(options.language);
    const char digit = static_cast<char>('0' + options.type);
    const PackageOutcome outcome = PackageDeviceImage(digit, options.rawPath, options.outputPath, language);
    if (!outcome.written) {
        // The detail names the path and the system's reason; the dialog's short message
        // box text does not.
        const std::string reason = outcome.detail.empty() ? outcome.message : outcome.detail;
        return console.result({outcome.inputUnusable ? exitUnusable : exitFailed, reason});
    }
    if (!outcome.warning.empty()) {
        console.note(outcome.warning);
    }
    return console.result({.exitCode = exitSuccess,
                           .text = fillText(textOf(IDS_PACKAGE_WRITTEN, language), {outcome.outputPath}),
                           .details = {{"path", outcome.outputPath}}});
}

} // namespace

void addPackageCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<PackageOptions>();
    CLI::App* command = app.add_subcommand("package", "Package a raw image as a device image (.dev)");
    command
        ->add_option(
            "--type", options->type,
            "Image type 1, 2 or 3: the digit the header carries after \"ABUF\" (ABUF1, ABUF2, ABUF3)")
        ->required()
        ->check(CLI::Range(1, 3));
    command->footer(
        "A device image is the raw image unchanged behind a five-byte header: \"ABUF\" and the\n"
        "type digit, so type 1 writes ABUF1, type 2 ABUF2 and type 3 ABUF3. The camera's loader\n"
        "reads the digit to tell its kinds of image apart; the firmware's release notes say\n"
        "which type an image is. Nothing else is added: no length, no checksum. A raw image\n"
        "that begins with such a header itself gets a second one, with a warning. An output that\n"
        "is the raw image itself (a .dev file packaged again under its own name) is refused.\n"
        "Exit status: 0 written, 1 the output was refused or could not be written, 3 the raw image\n"
        "could not be opened or read.");
    command->add_option("RAW", options->rawPath, "Raw image file")->required();
    command->add_option("--output,-o", options->outputPath, "Device image (default: beside RAW, with .dev)");
    addLanguageOption(*command, options->language);
    command->add_flag("--json", options->json, "One JSON object per event on standard output");
    command->callback([options, &status] {
        Console console(options->json ? OutputMode::Json : OutputMode::Plain);
        status = console.finish(runPackage(*options, console));
    });
}

} // namespace orvane
