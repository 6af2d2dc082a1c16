// `orvane-cli simulate`: a virtual camera on a pseudo-terminal for another program (the
// dialog, `orvane-cli upgrade`, a script) to talk to. Prints where to connect, every frame it
// receives with its meaning, what it answers, and at the end of an upgrade whether the image
// it received is the one announced. Runs until Ctrl-C.
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/device_relay.h"
#include "cli/exit_codes.h"
#include "cli/interrupt.h"
#include "imagetools/sha256.h"
#include "output/console.h"
#include "sim/virtual_camera.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>

namespace orvane {
namespace {

// Long enough for every short frame and a Pelco-D command; DataBlocks are cut short.
constexpr std::size_t hexShown = 24;

struct SimulateOptions {
    int address = defaultAddress;
    int lineSpeed = defaultSpeed;
    int upgradeSpeed = defaultSpeed;
    std::string link;
    std::string device;
    unsigned count = 1;
    bool pacing = false;
    bool strict = false;
    int replyDelayMs = 0;
    int flashMs = 0;
    std::string silentAt;
    std::vector<std::string> nakBlocks;
    unsigned nakEvery = 0;
    unsigned abortAtBlock = 0;
    unsigned noiseBytes = 0;
    std::string strayStartAt;
    std::string wrongCheckAt;
    unsigned splitParts = 1;
    int splitGapMs = 20;
    unsigned vanishAtBlock = 0;
    int returnAfterMs = -1;
};

CLI::Validator stepValidator() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            return stepRefFromText(text)
                       ? std::string()
                       : "not a step: " + text + " (enter, start, header, block, block:N, end, any)";
        },
        "STEP");
}

// "N" (once) or "N:TIMES".
bool parseNak(const std::string& text, std::uint32_t& block, std::uint32_t& times) {
    const std::size_t colon = text.find(':');
    try {
        std::size_t used = 0;
        const unsigned long b = std::stoul(text.substr(0, colon), &used);
        if (used != (colon == std::string::npos ? text.size() : colon) || b == 0 || b > 0xFFFFFFFFul) {
            return false;
        }
        unsigned long t = 1;
        if (colon != std::string::npos) {
            const std::string rest = text.substr(colon + 1);
            t = std::stoul(rest, &used);
            if (used != rest.size() || t == 0 || t > 0xFFFFFFFFul) {
                return false;
            }
        }
        block = static_cast<std::uint32_t>(b);
        times = static_cast<std::uint32_t>(t);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

CameraFaults faultsOf(const SimulateOptions& options) {
    CameraFaults faults;
    if (!options.silentAt.empty()) {
        faults.silentAt = stepRefFromText(options.silentAt);
    }
    for (const std::string& nak : options.nakBlocks) {
        std::uint32_t block = 0;
        std::uint32_t times = 0;
        if (parseNak(nak, block, times)) {
            faults.nakBlocks[block] = times;
        }
    }
    faults.nakEvery = options.nakEvery;
    if (options.abortAtBlock > 0) {
        faults.abortAtBlock = options.abortAtBlock;
    }
    faults.noiseBytes = options.noiseBytes;
    if (!options.strayStartAt.empty()) {
        faults.strayStartAt = stepRefFromText(options.strayStartAt);
    }
    if (!options.wrongCheckAt.empty()) {
        faults.wrongCheckAt = stepRefFromText(options.wrongCheckAt);
    }
    faults.splitParts = options.splitParts;
    faults.splitGap = std::chrono::milliseconds{options.splitGapMs};
    if (options.vanishAtBlock > 0) {
        faults.vanishAtBlock = options.vanishAtBlock;
    }
    if (options.returnAfterMs >= 0) {
        faults.returnAfter = std::chrono::milliseconds{options.returnAfterMs};
    }
    return faults;
}

// Every line of one camera; with several, each starts with the camera's name.
class CameraPrinter {
  public:
    CameraPrinter(Console& console, std::string prefix) : console_(console), prefix_(std::move(prefix)) {}

    void line(const std::string& text) const { console_.line(prefix_ + text); }

    void event(const CameraEvent& event) const {
        switch (event.kind) {
        case CameraEvent::Kind::Received:
            line("rx " + hexOf(event.bytes, hexShown) + " | " + event.text);
            break;
        case CameraEvent::Kind::Replied:
            line("tx " + hexOf(event.bytes, hexShown) + " | " + event.text);
            break;
        case CameraEvent::Kind::Note:
            // The verdict line says this with the digest.
            if (event.text.rfind("upgrade ended", 0) != 0) {
                line("note " + event.text);
            }
            break;
        }
    }

    void verdict(const UpgradeVerdict& verdict) const {
        const std::string digest = hexDigest(sha256Of(verdict.image));
        line(std::string("verdict ") + (verdict.matches ? "match: " : "mismatch: ") + verdict.summary +
             " (sha256 " + digest + ")");
    }

  private:
    Console& console_;
    std::string prefix_;
};

VirtualCameraOptions cameraOptionsOf(const SimulateOptions& options) {
    VirtualCameraOptions cameraOptions;
    cameraOptions.address = static_cast<std::uint8_t>(options.address);
    cameraOptions.lineSpeed = options.lineSpeed;
    cameraOptions.upgradeSpeed = options.upgradeSpeed;
    cameraOptions.pacing = options.pacing;
    cameraOptions.strict = options.strict;
    cameraOptions.replyDelay = std::chrono::milliseconds{options.replyDelayMs};
    cameraOptions.flashTime = std::chrono::milliseconds{options.flashMs};
    cameraOptions.faults = faultsOf(options);
    // A device such as a USB gadget's end carries no line speed the camera could follow.
    cameraOptions.modelSpeed = options.device.empty();
    return cameraOptions;
}

// --device: the camera answers on that device through a relay. Null when it cannot be opened.
std::unique_ptr<DeviceRelay> startRelay(const std::string& device, const VirtualCamera& camera,
                                        const CameraPrinter& printer, Console& console) {
    auto relay =
        std::make_unique<DeviceRelay>([&printer](const std::string& text) { printer.line("note " + text); });
    std::string error;
    if (!relay->start(device, camera.devicePath(), error)) {
        console.note("Cannot start the virtual camera: " + error);
        return nullptr;
    }
    return relay;
}

int runSimulate(const SimulateOptions& options, Console& console) {
    for (const std::string& nak : options.nakBlocks) {
        std::uint32_t block = 0;
        std::uint32_t times = 0;
        if (!parseNak(nak, block, times)) {
            return console.result({exitUsage, "--nak-block: expected BLOCK or BLOCK:TIMES, got " + nak});
        }
    }
    const InterruptWatch interrupt;

    const bool several = options.count > 1;
    std::vector<std::unique_ptr<CameraPrinter>> printers;
    std::vector<std::unique_ptr<VirtualCamera>> cameras;
    std::unique_ptr<DeviceRelay> relay;
    for (unsigned k = 1; k <= options.count; ++k) {
        const std::string name = "cam" + std::to_string(k);
        auto printer = std::make_unique<CameraPrinter>(console, several ? "[" + name + "] " : std::string());
        VirtualCameraOptions cameraOptions = cameraOptionsOf(options);
        if (!options.link.empty()) {
            cameraOptions.linkPath = several ? options.link + std::to_string(k) : options.link;
        }
        const CameraPrinter* p = printer.get();
        cameraOptions.onEvent = [p](const CameraEvent& event) { p->event(event); };
        cameraOptions.onVerdict = [p](const UpgradeVerdict& verdict) { p->verdict(verdict); };
        auto camera = std::make_unique<VirtualCamera>(cameraOptions);
        if (!camera->start()) {
            // The cameras already started stop (and take their links away) as they go.
            return console.result({exitUnusable, "Cannot start the virtual camera" +
                                                     (several ? " " + name : std::string()) + ": " +
                                                     camera->error()});
        }
        if (!options.device.empty() && !(relay = startRelay(options.device, *camera, *printer, console))) {
            return exitUnusable;
        }
        printer->line("device " + (options.device.empty() ? camera->devicePath() : options.device));
        if (!cameraOptions.linkPath.empty()) {
            printer->line("link " + cameraOptions.linkPath + " -> " + camera->devicePath());
        }
        printer->line("ready: address " + std::to_string(options.address) + ", line speed " +
                      std::to_string(options.lineSpeed) + ", upgrade speed " +
                      std::to_string(options.upgradeSpeed) + "; Ctrl-C stops");
        printers.push_back(std::move(printer));
        cameras.push_back(std::move(camera));
    }
    while (!interrupt.waitFor(std::chrono::seconds{1})) {
    }
    relay.reset();
    for (auto& camera : cameras) {
        camera->stop();
    }
    console.note("stopped");
    // Ctrl-C is how the camera is meant to be stopped.
    return exitSuccess;
}

// The faults a camera can be told to show, in a group of their own in the help.
void addFaultOptions(CLI::App& command, SimulateOptions& options, CLI::Option* device) {
    const std::string faults = "Faults";
    command
        .add_option("--silent-at", options.silentAt,
                    "Never answer this step: enter, start, header, block, block:N, end, any")
        ->check(stepValidator())
        ->group(faults);
    command
        .add_option("--nak-block", options.nakBlocks, "Refuse block N (TIMES times, default once): N[:TIMES]")
        ->group(faults);
    command.add_option("--nak-every", options.nakEvery, "Refuse every K-th data block received")
        ->group(faults);
    command.add_option("--abort-at-block", options.abortAtBlock, "Give up with an AbortFrame at block N")
        ->check(CLI::PositiveNumber)
        ->group(faults);
    command.add_option("--noise", options.noiseBytes, "Bytes of noise in front of every reply")
        ->check(CLI::Range(0U, 1000U))
        ->group(faults);
    command
        .add_option("--stray-start-at", options.strayStartAt, "A stray 0xA5 before the reply to this step")
        ->check(stepValidator())
        ->group(faults);
    command
        .add_option("--wrong-check-at", options.wrongCheckAt, "Wrong check byte in the reply to this step")
        ->check(stepValidator())
        ->group(faults);
    command.add_option("--split-replies", options.splitParts, "Write every reply in this many pieces")
        ->check(CLI::Range(1U, 5U))
        ->group(faults);
    command.add_option("--split-gap-ms", options.splitGapMs, "Gap between the pieces of a reply, ms")
        ->check(CLI::Range(0, 5000))
        ->group(faults);
    command
        .add_option("--vanish-at-block", options.vanishAtBlock, "The device disappears when block N arrives")
        ->check(CLI::PositiveNumber)
        ->excludes(device)
        ->group(faults);
    command
        .add_option("--return-after-ms", options.returnAfterMs,
                    "... and comes back as a new device after this long")
        ->check(CLI::Range(0, 600000))
        ->excludes(device)
        ->group(faults);
}

} // namespace

void addSimulateCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<SimulateOptions>();
    CLI::App* command =
        app.add_subcommand("simulate", "Run a virtual camera on a pseudo-terminal until Ctrl-C");
    addAddressOption(*command, options->address);
    addLineSpeedOption(*command, options->lineSpeed);
    addUpgradeSpeedOption(*command, options->upgradeSpeed);
    CLI::Option* link =
        command->add_option("--link", options->link,
                            "Also make this symbolic link to the device (with --count N: PATH1 ... PATHN); "
                            "never replaces what is already there");
    CLI::Option* count =
        command->add_option("--count", options->count, "Run this many cameras, each on a device of its own")
            ->check(CLI::Range(1U, 64U));
    CLI::Option* device = command
                              ->add_option("--device", options->device,
                                           "Answer on this existing terminal device (a USB gadget's end, "
                                           "/dev/ttyGS0) instead of a pseudo-terminal; the camera then "
                                           "follows no line speed")
                              ->excludes(link)
                              ->excludes(count);
    command->add_flag("--pacing", options->pacing, "Let bytes take their time on the line (10 bits each)");
    command->add_flag("--strict", options->strict,
                      "Be as unforgiving as a real boot loader: replies are lost while the host's port is "
                      "closed, a StartCommand sooner than 500 ms after the EnterAck and an EndFrame before "
                      "every block go unanswered");
    command
        ->add_option("--reply-delay-ms", options->replyDelayMs,
                     "Time the camera takes before every reply, from the last byte of the frame, ms")
        ->check(CLI::Range(0, 60000));
    command->add_option("--flash-ms", options->flashMs, "Time the camera takes per data block, ms")
        ->check(CLI::Range(0, 60000));

    addFaultOptions(*command, *options, device);
    command->callback([options, &status] {
        Console console(OutputMode::Plain);
        status = console.finish(runSimulate(*options, console));
    });
}

} // namespace orvane
