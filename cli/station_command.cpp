// `orvane-cli station IMAGE`: the unattended production station. Cameras are upgraded as they
// are plugged in, once a plug, with the bytes read at the start, until Ctrl-C, SIGTERM or a
// hang-up; then the jobs in flight are given up and the counters close the shift.
#include "cli/attempt_options.h"
#include "cli/commands.h"
#include "cli/common_options.h"
#include "cli/exit_codes.h"
#include "cli/image_approval.h"
#include "cli/interrupt.h"
#include "cli/port_list_file.h"
#include "cli/same_port.h"
#include "cli/station_dashboard.h"
#include "cli/station_line.h"
#include "cli/station_line_job.h"
#include "cli/station_today.h"
#include "cli/station_view.h"
#include "cli/upgrade_session.h"
#include "station/scan_reader.h"
#include "station/station.h"
#include "station/station_image.h"
#include "station/station_jobs.h"
#include "station/watched_ports.h"
#include "text/string_table.h"
#include "text/text_ids.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <memory>

namespace orvane {
namespace {

struct StationOptions {
    std::string imagePath;
    StationPlan plan;
    std::vector<std::string> ports;
    std::string portsFrom;
    std::string language = "en";
    std::string target = "main";
    std::string approved;
    std::uint32_t maxResends = 20; // a camera left refusing one block must not hold its slot for ever
    bool json = false;
    bool bell = false;
    bool allowAnyImage = false;
    std::string scan; // "-" standard input, else the scanner's serial device
    int scanBps = 9600;
    unsigned scanWindow = 120;
    RecordsChoice records;
    DashboardChoice dashboard;
    std::string job;                     // --job NAME[@VERSION]: the line's released job
    std::vector<std::string> fixedGiven; // options given that such a job fixes
};

// A line of --ports-from may name the slot after its port: "ttyUSB0  left".
FixedSlot slotOfLine(const std::string& line) {
    const std::size_t gap = line.find_first_of(" \t");
    if (gap == std::string::npos) {
        return {line, {}};
    }
    const std::size_t nick = line.find_first_not_of(" \t", gap);
    return {line.substr(0, gap), line.substr(nick)};
}

// Each slot once: a port given twice (under any of its names) would be two jobs on one camera,
// and two ports under one nickname one slot, the second camera never seen.
std::optional<std::string> slotTwice(const std::vector<FixedSlot>& slots) {
    std::vector<std::string> ports;
    for (const FixedSlot& slot : slots) {
        ports.push_back(slot.port);
    }
    if (auto twice = samePortTwice(ports)) {
        return twice;
    }
    const auto nameOf = [](const FixedSlot& slot) {
        return slot.nickname.empty() ? slot.port : slot.nickname;
    };
    for (auto later = slots.begin(); later != slots.end(); ++later) {
        const auto earlier = std::find_if(
            slots.begin(), later, [&](const FixedSlot& slot) { return nameOf(slot) == nameOf(*later); });
        if (earlier != later) {
            return "Slot " + nameOf(*later) + " is named twice (" + earlier->port + " and " + later->port +
                   "): give each slot its own name";
        }
    }
    return std::nullopt;
}

std::optional<int> fixedSlots(const StationOptions& options, StationPlan& plan, Console& console) {
    for (const std::string& port : options.ports) {
        plan.slots.push_back({port, {}});
    }
    if (!options.portsFrom.empty()) {
        const PortListFile listed = readPortListFile(options.portsFrom);
        if (!listed.error.empty()) {
            return console.result({exitUnusable, listed.error});
        }
        for (const std::string& line : listed.ports) {
            plan.slots.push_back(slotOfLine(line));
        }
    }
    if (const auto twice = slotTwice(plan.slots)) {
        return console.result({exitUsage, *twice});
    }
    return std::nullopt;
}

// The scanner of --scan, read until the shift ends; its labels go to plan.labels.
std::optional<int> openScanner(const StationOptions& options, StationPlan& plan, Console& console,
                               TextLanguage language, std::unique_ptr<LabelSource>& scanner) {
    plan.labelWindow = std::chrono::seconds(options.scanWindow);
    if (options.scan.empty()) {
        if (plan.requireUnit) {
            return console.result(
                {exitUsage, "--require-unit needs --scan: - or the scanner's serial device"});
        }
        return std::nullopt;
    }
    if (options.scan == "-") {
        scanner = readStandardInput();
    } else {
        const auto isScanner = [&](const FixedSlot& slot) {
            return !samePortTwice({slot.port, options.scan});
        };
        if (std::any_of(plan.slots.begin(), plan.slots.end(), isScanner)) {
            return console.result({exitUsage, "--scan " + options.scan +
                                                  " is also a camera's slot: give the "
                                                  "scanner a port of its own"});
        }
        std::string error;
        scanner = readScanDevice(
            options.scan, options.scanBps, language,
            [&console](const std::string& text) { console.note(text); }, error);
        if (!scanner) {
            return console.result({exitUnusable, "--scan: " + error});
        }
        plan.scanDevice = options.scan;
    }
    plan.labels = scanner.get();
    return std::nullopt;
}

// The slots (fixed, or the watched folder's), and the scanner whose labels they are given.
std::optional<int> planSlots(const StationOptions& options, StationPlan& plan, Console& console,
                             TextLanguage language, std::unique_ptr<LabelSource>& scanner) {
    if (const auto refused = fixedSlots(options, plan, console)) {
        return refused;
    }
    return openScanner(options, plan, console, language, scanner);
}

void sayReady(Console& console, StationView& view, const FirmwareImage& image, const StationPlan& plan,
              TextLanguage language) {
    const std::string size = std::to_string(image.bytes.size());
    if (console.json()) {
        console.event("station",
                      {{"image", image.path}, {"bytes", image.bytes.size()}, {"sha256", image.sha256}});
    } else {
        view.say(fillText(textOf(IDS_STATION_READY, language), {image.path, size, image.sha256}));
    }
    // udev makes /dev/serial/by-id with the first adapter and takes it away with the last.
    std::error_code error;
    if (plan.slots.empty() && !std::filesystem::is_directory(plan.watchFolder, error)) {
        view.noFolder(plan.watchFolder);
    }
}

// What every camera's job is given: the bytes read once, the settings and the records.
void planJobs(StationPlan& plan, const StationOptions& options, const FirmwareImage& image,
              OpenedBook& records, Console& console, TextLanguage language) {
    plan.job.image = &image;
    plan.job.settings = {targetNamed(options.target), language, options.maxResends,
                         plan.job.settings.lowLatency};
    plan.job.records = records.book.get();
    plan.job.recordsRequired = options.records.required;
    plan.job.recordTrouble = [&console, language](const std::string& port, const RecordTroubleNote& note) {
        sayRecordTrouble(console, language, note, PortTag{port, true});
    };
}

// On a line's server: the station's name claimed, its row published, and the line's pause
// holding every slot on top of the page's own holds.
std::optional<int> joinLine(StationLine& line, StationPlan& plan, StationState& state, StationView& view,
                            const StationOptions& options, Console& console, TextLanguage language) {
    const auto slotHeld = plan.held;
    plan.held = [slotHeld, &line](const std::string& slot) {
        return line.paused() || (slotHeld && slotHeld(slot));
    };
    const auto pausedChanged = [&view, language](bool paused) {
        view.say(std::string(textOf(paused ? IDS_LINE_PAUSED : IDS_LINE_RESUMED, language)));
    };
    return line.start(state, options.records, {slotHeld, pausedChanged}, console, language);
}

// The bytes every camera gets: IMAGE read once, or the first version of --job.
std::optional<int> stationImage(const StationOptions& options, Console& console, TextLanguage language,
                                std::optional<FirmwareImage>& image, LineJob& line) {
    if (!options.job.empty()) {
        if (const auto refused =
                openLineJob(options.job, options.fixedGiven, options.records, console, line)) {
            return refused;
        }
        image = line.first->image;
        return std::nullopt;
    }
    const ImageChoice choice{options.imagePath, options.approved, options.target,
                             ImageRules{.allowAnyKind = options.allowAnyImage}, language};
    return acceptImage(choice, console, image);
}

// What ends the command before any port is looked at: a token asked for, no image, a page
// that could not be served.
std::optional<int> checkStart(const StationOptions& options, StationDashboard& dashboard, Console& console) {
    if (const auto made = StationDashboard::makeTokenIfAsked(options.dashboard, console)) {
        return made;
    }
    if (options.imagePath.empty() && options.job.empty()) {
        return console.result({exitUsage, "station: IMAGE (or --job) is required"});
    }
    return dashboard.check(options.dashboard, console);
}

int runStation(const StationOptions& options, Console& console) {
    const TextLanguage language = languageNamed(options.language);
    StationDashboard dashboard;
    if (const auto refused = checkStart(options, dashboard, console)) {
        return *refused;
    }
    StationPlan plan = options.plan;
    // Caught from before the scanner's reader turns a terminal's echo off: a Ctrl-C from then on
    // ends the shift in order, the terminal put back as it was.
    const InterruptWatch interrupt;
    std::unique_ptr<LabelSource> scanner;
    if (const auto refused = planSlots(options, plan, console, language, scanner)) {
        return *refused;
    }
    std::optional<FirmwareImage> image;
    LineJob line;
    if (const auto refused = stationImage(options, console, language, image, line)) {
        return *refused;
    }
    OpenedBook records;
    if (const auto refused = openAttemptRecords(options.records, console, language, records)) {
        return *refused;
    }
    planJobs(plan, options, *image, records, console, language);
    plan.held = [&dashboard](const std::string& slot) { return dashboard.held(slot); };
    StationView view(console, language, options.bell, plan.labelWindow);
    sayReady(console, view, *image, plan, language);
    StationState state(image->path, image->sha256, image->bytes.size(), plan.retries);
    if (line.follow) {
        startLineJob(line, view, state, options.records);
        plan.released = line.follow.get();
    }
    if (const auto today = todaysTally(options.records)) {
        view.today(*today);
    }
    state.addListener(view);
    StationLine lineRow; // the line's name claimed before the page is served
    auto refused = joinLine(lineRow, plan, state, view, options, console, language);
    if (refused || (refused = dashboard.start(state, options.records, console))) {
        return *refused;
    }
    ImageChangeWatch changes(line.follow ? std::string() : image->path);
    WatchedPorts ports(plan);
    StationJobs jobs(plan.job, state);
    SystemClock clock;
    Station station(plan, state, view, {ports, jobs, clock});
    station.run([&] {
        if (changes.changedNow()) {
            state.imageChanged();
        }
        return interrupt.interrupted() || dashboard.stopAsked();
    });
    const int status =
        view.summary(state.snapshot(), interrupt.interrupted() ? interrupt.exitStatus() : exitSuccess);
    dashboard.stop(); // its threads read the state, which goes before it
    stopLineJob(line, options.records);
    return status;
}

void addStationOptions(CLI::App& command, StationOptions& options) {
    StationPlan& plan = options.plan;
    command.add_option("--watch", plan.watchFolder, "Folder whose entries are the ports to watch")
        ->capture_default_str();
    command
        .add_option("--match", plan.matches,
                    "Only ports whose VID:PID, name (glob) or USB serial (glob) fits; repeatable")
        ->allow_extra_args(false);
    command.add_option("--port", options.ports, "A fixed slot instead of a watched folder; repeatable")
        ->allow_extra_args(false);
    command.add_option("--ports-from", options.portsFrom,
                       "File with one slot a line: its port, then a nickname if wanted");
    command.add_option("--retries", plan.retries, "Try a failed camera left in again, up to N times")
        ->check(CLI::Range(0U, 100U))
        ->capture_default_str();
    command.add_option("--parallel", plan.parallel, "Upgrade at most N cameras at once (0: no cap)")
        ->check(CLI::Range(0U, 1000U))
        ->capture_default_str();
    command
        .add_option("--max-resends", options.maxResends,
                    "Give up on a camera that refuses one block this many times")
        ->check(CLI::Range(0U, 1000000U))
        ->capture_default_str();
    command.add_flag("--bell", options.bell, "Ring the terminal bell at each camera's end");
    command.add_option("--scan", options.scan,
                       "Read units' labels from a scanner: - for standard input, or its serial device");
    addLineSpeedOption(command, options.scanBps, "--scan-bps")
        ->description("Speed of the --scan serial device");
    command.add_option("--scan-window", options.scanWindow, "Drop a label no camera took this many seconds")
        ->check(CLI::Range(1U, 86400U))
        ->capture_default_str();
    command.add_flag("--require-unit", plan.requireUnit, "Flash no camera before its label is read");
}

} // namespace

void addStationCommand(CLI::App& app, int& status) {
    auto options = std::make_shared<StationOptions>();
    StationJobSetup& job = options->plan.job;
    CLI::App* command =
        app.add_subcommand("station", "Upgrade every camera plugged in, once a plug, until Ctrl-C");
    command->add_option("IMAGE", options->imagePath, "Firmware image file (needed unless --token-new)");
    addStationOptions(*command, *options);
    addAddressOption(*command, job.address);
    addLineSpeedOption(*command, job.lineSpeed);
    addUpgradeSpeedOption(*command, job.upgradeSpeed);
    command->add_option("--target", options->target, "Board to upgrade: main, motor or special")
        ->check(CLI::IsMember({"main", "motor", "special"}))
        ->capture_default_str();
    command->add_option("--approved", options->approved,
                        "Refuse to start with an image whose SHA-256 is not in this list for the board");
    addAllowAnyImageOption(*command, options->allowAnyImage);
    addLanguageOption(*command, options->language);
    command->add_flag("--json", options->json, "One JSON object per event on standard output");
    addLowLatencyOption(*command, job.settings.lowLatency);
    addDashboardOptions(*command, options->dashboard);
    addAttemptOptions(*command, options->records,
                      "Where each attempt is kept: a file, none, or a postgresql:// server "
                      "(default: this desk's records file)");
    command->add_option("--job", options->job,
                        "Take the image and its settings from the line's released job NAME (its latest "
                        "version, or NAME@VERSION); needs --records postgresql://... (Linux)");
    command->callback([options, command, &status] {
        options->fixedGiven = optionsTheJobFixes(*command);
        Console console(chooseOutputMode(options->json));
        status = console.finish(runStation(*options, console));
    });
}

} // namespace orvane
