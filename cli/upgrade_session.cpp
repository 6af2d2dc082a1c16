#include "cli/upgrade_session.h"

#include "attempts/camera_job.h"
#include "cli/exit_codes.h"
#include "output/job_log_printer.h"
#include "text/string_table.h"
#include "text/text_ids.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace orvane {
namespace {

// One camera's job with everything it needs of its own. Members end in reverse order: the
// job (waiting for its thread) before the printer and the inputs it uses.
struct CameraRun {
    CameraRun(const UpgradeRequest& request, const std::string& portName, SerialLink* given, Console& console,
              bool several, std::size_t row)
        : port(portName),
          inputs(AttemptFacts{.port = portName,
                              .imagePath = request.imagePath,
                              .lineSpeed = request.lineSpeed,
                              .upgradeSpeed = request.upgradeSpeed,
                              .address = request.address,
                              .target = request.target,
                              .lowLatency = request.lowLatency,
                              .unit = request.unit,
                              .slot = portName,
                              .plug = {}},
                 request.image ? std::optional(std::span<const std::uint8_t>(*request.image)) : std::nullopt),
          printer(console, PortTag{portName, several}, row), job(inputs, printer, given) {}

    std::string port;
    FixedInputs inputs;
    JobLogPrinter printer;
    CameraJob job;
};

// Every job starts before any is waited for: the cameras are upgraded side by side.
void startJobs(const UpgradeRequest& request, std::vector<std::unique_ptr<CameraRun>>& runs, Console& console,
               bool several) {
    for (const auto& run : runs) {
        const PortTag tag{run->port, several};
        run->job.start(CameraJobSetup{
            .settings = {request.target, request.language, request.maxResends, request.lowLatency},
            .facts = run->inputs.facts(),
            .records = request.records,
            .recordsRequired = request.recordsRequired,
            .recordTrouble =
                [&console, tag, language = request.language](const RecordTroubleNote& note) {
                    sayRecordTrouble(console, language, note, tag);
                },
        });
    }
}

} // namespace

void sayRecordTrouble(Console& console, TextLanguage language, const RecordTroubleNote& note,
                      const PortTag& port) {
    const std::string text = recordTroubleText(note, language);
    if (console.json()) {
        console.event(note.waiting ? "recordWaiting" : "recordNotKept",
                      {{"ok", note.waiting}, {"reason", note.reason}, {"text", text}}, port);
    } else {
        console.note(text, port);
    }
}

int exitStatusOf(const UpgradeOutcome& outcome, const InterruptWatch& interrupt) {
    switch (outcome.ending) {
    case UpgradeEnding::Succeeded:
        return exitSuccess;
    case UpgradeEnding::Failed:
        return exitFailed;
    case UpgradeEnding::Unusable:
        return exitUnusable;
    case UpgradeEnding::Cancelled:
        return interrupt.interrupted() ? interrupt.exitStatus() : exitFailed;
    }
    return exitFailed;
}

int combinedExitStatus(std::span<const CameraReport> cameras, const InterruptWatch& interrupt) {
    if (interrupt.interrupted()) {
        return interrupt.exitStatus();
    }
    const auto any = [cameras](int status) {
        return std::any_of(cameras.begin(), cameras.end(),
                           [status](const CameraReport& camera) { return camera.exitStatus == status; });
    };
    if (any(exitUnusable)) {
        return exitUnusable;
    }
    const bool allSucceeded = std::all_of(cameras.begin(), cameras.end(), [](const CameraReport& camera) {
        return camera.exitStatus == exitSuccess;
    });
    return allSucceeded ? exitSuccess : exitFailed;
}

namespace {

// One camera's end, once its job has ended: its result said, its report for the summary.
CameraReport reportOf(CameraRun& run, Console& console, const InterruptWatch& interrupt, bool several) {
    CameraReport report;
    report.port = run.port;
    report.outcome = run.job.finish();
    run.printer.finish();
    report.exitStatus = exitStatusOf(report.outcome, interrupt);
    if (report.outcome.ending == UpgradeEnding::Cancelled) {
        report.signal = interrupt.signalName();
    }
    report.seconds = run.job.seconds();
    report.lastLine = run.printer.lastLine();
    if (const auto progress = run.printer.latestProgress()) {
        report.bytes = report.outcome.succeeded() ? progress->length : progress->offset;
    }
    console.result(cameraResult(report, several));
    return report;
}

} // namespace

UpgradeRun runUpgradeSession(const UpgradeRequest& request, Console& console,
                             const InterruptWatch& interrupt) {
    const bool several = request.ports.size() > 1;
    console.reserveBars(request.ports.size());
    std::vector<std::unique_ptr<CameraRun>> runs;
    for (std::size_t i = 0; i < request.ports.size(); ++i) {
        runs.push_back(std::make_unique<CameraRun>(request, request.ports[i],
                                                   i < request.links.size() ? request.links[i] : nullptr,
                                                   console, several, i));
    }
    startJobs(request, runs, console, several);
    bool cancelled = false;
    const auto anyRunning = [&runs] {
        return std::any_of(runs.begin(), runs.end(), [](const auto& run) { return run->job.running(); });
    };
    while (anyRunning()) {
        if (interrupt.waitFor(std::chrono::milliseconds{50}) && !cancelled) {
            // Each job gives up at its next pause: AbortFrame, then "Update was failed !".
            for (const auto& run : runs) {
                run->job.cancel();
            }
            cancelled = true;
        }
    }

    UpgradeRun result;
    for (const auto& run : runs) {
        result.cameras.push_back(reportOf(*run, console, interrupt, several));
    }
    result.exitStatus = combinedExitStatus(result.cameras, interrupt);
    if (several) {
        printSummary(console, result.cameras, result.exitStatus);
    }
    if (interrupt.interrupted() && !console.json()) {
        // Said last, where a log kept past a lost terminal (nohup, tee) ends.
        console.note(
            fillText(textOf(IDS_STOPPED_BY_SIGNAL, request.language), {std::string(interrupt.signalName())}));
    }
    return result;
}

} // namespace orvane
