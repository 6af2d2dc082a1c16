// `orvane-cli demo`: the whole upgrade without hardware. A virtual camera starts in this
// process, a sample image goes to its main board through the very job the dialog runs (line
// speed 9600, upgrade speed 115200, bytes paced at the line rate), and the demo ends by
// showing that the camera holds exactly the image.
#include <CLI/CLI.hpp>

#include <chrono>
#include <memory>

#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/exit_codes.h"
#include "cli/sample_image.h"
#include "cli/sha256.h"
#include "cli/upgrade_session.h"
#include "sim/virtual_camera.h"
#include "upgrade/upgrade_job.h"

namespace orvane {
namespace {

constexpr int demoLineSpeed = 9600;
constexpr int demoUpgradeSpeed = 115200;

struct DemoOptions {
    std::size_t size = defaultSampleImageSize;
    std::string language = "en";
    bool lowLatency = false;
};

int runDemo(const DemoOptions& options) {
    const TextLanguage language = languageNamed(options.language);
    Console console(chooseOutputMode(false));
    const InterruptWatch interrupt;
    const auto started = std::chrono::steady_clock::now();

    const std::vector<std::uint8_t> image = makeSampleImage(options.size);
    std::string error;
    const std::optional<TemporaryFile> imageFile = TemporaryFile::create(image, error);
    if (!imageFile) {
        console.error("Cannot write the sample image: " + error);
        return exitUnusable;
    }

    VirtualCameraOptions cameraOptions;
    cameraOptions.address = defaultAddress;
    cameraOptions.lineSpeed = demoLineSpeed;
    cameraOptions.upgradeSpeed = demoUpgradeSpeed;
    cameraOptions.pacing = true;
    VirtualCamera camera(cameraOptions);
    if (!camera.start()) {
        console.error("Cannot start the virtual camera: " + camera.error());
        return exitUnusable;
    }
    console.line("Virtual camera on " + camera.devicePath() + ": address 1, line speed " +
                 std::to_string(demoLineSpeed) + ", upgrade speed " + std::to_string(demoUpgradeSpeed) +
                 ", paced at the line rate");
    console.line("Sample image: " + std::to_string(image.size()) + " bytes");

    UpgradeRequest request;
    request.imagePath = imageFile->path();
    request.portName = camera.devicePath();
    request.lineSpeed = demoLineSpeed;
    request.upgradeSpeed = demoUpgradeSpeed;
    request.address = defaultAddress;
    request.target = UpgradeTarget::MainBoard;
    request.lowLatency = options.lowLatency;
    const int status = runUpgradeSession(request, console, language, interrupt);
    if (status != exitSuccess) {
        return status;
    }

    const std::optional<UpgradeVerdict> verdict = camera.waitForVerdict(std::chrono::seconds{2});
    camera.stop();
    const std::string sent = hexDigest(sha256Of(image));
    const std::string held = verdict ? hexDigest(sha256Of(verdict->image)) : std::string("(nothing)");
    const bool same = verdict && verdict->matches && verdict->image == image;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char took[32];
    std::snprintf(took, sizeof took, "%.1f", seconds);
    if (same) {
        console.line("The camera holds exactly the image: " + std::to_string(image.size()) + " bytes in " +
                     std::to_string(verdict->blocksReceived) + " blocks, " + took + " s");
    } else {
        console.line("The camera does NOT hold the image: " + (verdict ? verdict->summary : std::string("no verdict")));
    }
    console.line("SHA-256 sent:   " + sent);
    console.line("SHA-256 camera: " + held);
    return same ? exitSuccess : exitFailed;
}

} // namespace

void addDemoCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<DemoOptions>();
    CLI::App* command =
        app.add_subcommand("demo", "Upgrade a virtual camera with a sample image and check what it received");
    command->add_option("--size", options->size, "Size of the sample image in bytes")
        ->check(CLI::Range(std::size_t{0}, static_cast<std::size_t>(maxImageLength)))
        ->capture_default_str();
    addLanguageOption(*command, options->language);
    addLowLatencyOption(*command, options->lowLatency);
    command->callback([options, &status] { status = runDemo(*options); });
}

} // namespace orvane
