// `orvane-cli demo`: the whole upgrade without hardware. A virtual camera (or --cameras N of
// them, upgraded at once) starts in this process, on a pseudo-terminal (Linux) or an in-memory
// line (Windows, or --memory-line), a sample image goes to its main board through the very job
// the dialog runs (line speed 9600, upgrade speed 115200, bytes paced at the line rate), and
// the demo ends by showing by SHA-256 that each camera holds exactly the image.
#include "cli/attempt_options.h"
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/demo_camera.h"
#include "cli/exit_codes.h"
#include "cli/sample_image.h"
#include "cli/upgrade_session.h"
#include "imagetools/sha256.h"
#include "upgrade/upgrade_job.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

namespace orvane {
namespace {

constexpr int demoLineSpeed = 9600;
constexpr int demoUpgradeSpeed = 115200;

struct DemoOptions {
    std::size_t size = defaultSampleImageSize;
    unsigned cameras = 1;
    std::string language = "en";
    bool lowLatency = false;
    bool memoryLine = false;
    RecordsChoice records; // kept only when a place is given
};

// Whether the camera holds exactly the image, said with the digests of both; label names the
// camera's lines when there are several.
bool proveImage(Console& console, DemoCamera& camera, std::span<const std::uint8_t> image,
                const PortTag& label, double seconds) {
    const std::optional<UpgradeVerdict> verdict = camera.waitForVerdict(std::chrono::seconds{2});
    camera.stop();
    const std::string sent = hexDigest(sha256Of(image));
    const std::string held = verdict ? hexDigest(sha256Of(verdict->image)) : std::string("(nothing)");
    const bool same = verdict && verdict->matches &&
                      std::equal(verdict->image.begin(), verdict->image.end(), image.begin(), image.end());
    char took[32];
    std::snprintf(took, sizeof took, "%.1f", seconds);
    if (same) {
        console.line("The camera holds exactly the image: " + std::to_string(image.size()) + " bytes in " +
                         std::to_string(verdict->blocksReceived) + " blocks, " + took + " s",
                     label);
    } else {
        console.line("The camera does NOT hold the image: " +
                         (verdict ? verdict->summary : std::string("no verdict")),
                     label);
    }
    console.line("SHA-256 sent:   " + sent, label);
    console.line("SHA-256 camera: " + held, label);
    return same;
}

int runDemo(const DemoOptions& options) {
    Console console(chooseOutputMode(false));
    const InterruptWatch interrupt;
    const auto started = std::chrono::steady_clock::now();

    const std::vector<std::uint8_t> image = makeSampleImage(options.size);
    std::string error;
    const std::optional<TemporaryFile> imageFile = TemporaryFile::create(image, error);
    if (!imageFile) {
        return console.result({exitUnusable, "Cannot write the sample image: " + error});
    }

    UpgradeRequest request;
    request.imagePath = imageFile->path();
    request.image = image; // the file names what the records keep
    request.lineSpeed = demoLineSpeed;
    request.upgradeSpeed = demoUpgradeSpeed;
    request.address = defaultAddress;
    request.target = UpgradeTarget::MainBoard;
    request.language = languageNamed(options.language);
    request.lowLatency = options.lowLatency;
    std::vector<std::unique_ptr<DemoCamera>> cameras;
    for (unsigned k = 0; k < options.cameras; ++k) {
        const DemoCameraSettings settings{static_cast<std::uint8_t>(defaultAddress), demoLineSpeed,
                                          demoUpgradeSpeed, k + 1};
        auto camera = options.memoryLine ? startMemoryDemoCamera(settings) : startDemoCamera(settings, error);
        if (camera == nullptr) {
            return console.result({exitUnusable, "Cannot start the virtual camera: " + error});
        }
        request.ports.push_back(camera->port());
        if (SerialLink* line = camera->line()) {
            request.links.push_back(line);
        }
        cameras.push_back(std::move(camera));
    }
    const std::string where = options.cameras == 1 ? "Virtual camera on " + request.ports.front()
                                                   : std::to_string(options.cameras) + " virtual cameras";
    console.line(where + ": address 1, line speed " + std::to_string(demoLineSpeed) + ", upgrade speed " +
                 std::to_string(demoUpgradeSpeed) + ", paced at the line rate");
    console.line("Sample image: " + std::to_string(image.size()) + " bytes");

    OpenedBook records;
    if (!options.records.place.empty()) {
        if (const auto refused = openAttemptRecords(options.records, console, request.language, records)) {
            return *refused;
        }
    }
    request.records = records.book.get();
    request.recordsRequired = options.records.required && !options.records.place.empty();
    const UpgradeRun run = runUpgradeSession(request, console, interrupt);
    if (run.exitStatus != exitSuccess) {
        return run.exitStatus;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    bool allSame = true;
    for (std::size_t k = 0; k < cameras.size(); ++k) {
        const PortTag label{request.ports[k], cameras.size() > 1};
        allSame = proveImage(console, *cameras[k], image, label, seconds) && allSame;
    }
    return allSame ? exitSuccess : exitFailed;
}

} // namespace

void addDemoCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<DemoOptions>();
    CLI::App* command =
        app.add_subcommand("demo", "Upgrade a virtual camera with a sample image and check what it received");
    command->add_option("--size", options->size, "Size of the sample image in bytes")
        ->check(CLI::Range(std::size_t{0}, static_cast<std::size_t>(maxImageLength)))
        ->capture_default_str();
    command->add_option("--cameras", options->cameras, "Upgrade this many virtual cameras at once")
        ->check(CLI::Range(1U, 16U))
        ->capture_default_str();
    addLanguageOption(*command, options->language);
    addLowLatencyOption(*command, options->lowLatency);
    command->add_flag(
        "--memory-line", options->memoryLine,
        "Run the cameras on in-memory lines instead of pseudo-terminals (always so on Windows)");
    addAttemptOptions(
        *command, options->records,
        "Keep the virtual cameras' attempts: a file, or a postgresql:// server (default: none)");
    command->callback([options, &status] { status = runDemo(*options); });
}

} // namespace orvane
