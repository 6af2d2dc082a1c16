#include "cli/upgrade_session.h"

#include "cli/exit_codes.h"
#include "output/job_log_printer.h"
#include "serial/serial_port.h"
#include "text/string_table.h"
#include "text/text_ids.h"
#include "upgrade/clock.h"
#include "upgrade/reply_receiver.h"
#include "upgrade/upgrade_worker.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace orvane {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The user's choices are fixed for the whole job on the command line.
class FixedInputs final : public UpgradeInputs {
  public:
    FixedInputs(const UpgradeRequest& request, std::string port)
        : request_(request), port_(std::move(port)) {}
    std::optional<std::string> imagePath() override { return request_.imagePath; }
    std::optional<std::string> portName() override { return port_; }
    std::optional<int> lineSpeed() override { return request_.lineSpeed; }
    std::optional<int> address() override { return request_.address; }
    std::optional<int> upgradeSpeed() override { return request_.upgradeSpeed; }
    std::optional<std::span<const std::uint8_t>> loadedImage() override {
        if (!request_.image) {
            return std::nullopt;
        }
        return std::span<const std::uint8_t>(*request_.image);
    }

  private:
    const UpgradeRequest& request_;
    std::string port_;
};

// One camera's job with everything it needs of its own. Members end in reverse order: the
// worker (waiting for its job) before the receiver, both before the port.
struct CameraRun {
    CameraRun(const UpgradeRequest& request, const std::string& portName, SerialLink* given, Console& console,
              bool several, std::size_t row)
        : port(portName), ownLink(given != nullptr ? nullptr : std::make_unique<SerialPort>()),
          link(given != nullptr ? *given : *ownLink), inputs(request, portName),
          printer(console, PortTag{portName, several}, row), receiver(link, flags, clock),
          worker(link, flags, clock, inputs, printer) {}

    std::string port;
    std::unique_ptr<SerialPort> ownLink; // unless the request brought the line
    SerialLink& link;
    ReplyFlags flags;
    SystemClock clock;
    FixedInputs inputs;
    JobLogPrinter printer;
    ReplyReceiver receiver;
    UpgradeWorker worker;
    SteadyClock::time_point started;
    double seconds = 0.0; // written by the job's thread as it ends, read after wait()
    std::unique_ptr<AttemptRecorder> recorder;
    std::optional<CommandResult> refused; // not upgraded: its record could not be kept
};

// The running record of a camera's attempt. Where records are required and it could not be
// kept, the camera is left alone: run.refused says why.
void beginRecord(const UpgradeRequest& request, CameraRun& run, Console& console, bool several) {
    if (request.records == nullptr) {
        return;
    }
    struct Notice {
        bool held = false; // the start's failure is the refusal's to say
        std::string reason;
    };
    auto notice = std::make_shared<Notice>(Notice{request.recordsRequired, {}});
    const PortTag tag{run.port, several};
    run.recorder = request.records->begin(
        AttemptFacts{run.port, request.imagePath, request.lineSpeed, request.upgradeSpeed, request.address,
                     request.target, request.lowLatency},
        [&console, tag, language = request.language, notice](const RecordTroubleNote& note) {
            if (notice->held && !note.waiting) {
                notice->reason = note.reason;
            } else {
                sayRecordTrouble(console, language, note, tag);
            }
        });
    if (notice->held && !run.recorder->startKept()) {
        const std::string text = fillText(textOf(IDS_RECORDS_REQUIRED, request.language), {notice->reason});
        run.refused = CommandResult{.exitCode = exitUnusable, .text = text, .port = tag};
        run.recorder.reset();
    }
    notice->held = false;
}

// Every job starts before any is waited for: the cameras are upgraded side by side.
void startJobs(const UpgradeRequest& request, std::vector<std::unique_ptr<CameraRun>>& runs, Console& console,
               bool several) {
    for (const auto& run : runs) {
        CameraRun* r = run.get();
        beginRecord(request, *r, console, several);
        if (r->refused) {
            continue;
        }
        r->started = SteadyClock::now();
        r->worker.start(
            UpgradeSettings{request.target, request.language, request.maxResends, request.lowLatency},
            [r](const UpgradeOutcome& outcome) {
                r->seconds = std::chrono::duration<double>(SteadyClock::now() - r->started).count();
                if (r->recorder) {
                    r->recorder->complete(outcome);
                }
            },
            r->recorder.get());
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
    if (run.refused) {
        report.exitStatus = console.result(*run.refused);
        report.lastLine = run.refused->text;
        return report;
    }
    report.outcome = run.worker.wait();
    run.printer.finish();
    // Closing first wakes the receiver's read at once, so the stop does not wait it out.
    run.link.closePort();
    run.receiver.stop();
    report.exitStatus = exitStatusOf(report.outcome, interrupt);
    if (report.outcome.ending == UpgradeEnding::Cancelled) {
        report.signal = interrupt.signalName();
    }
    report.seconds = run.seconds;
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
        return std::any_of(runs.begin(), runs.end(), [](const auto& run) { return run->worker.running(); });
    };
    while (anyRunning()) {
        if (interrupt.waitFor(std::chrono::milliseconds{50}) && !cancelled) {
            // Each job gives up at its next pause: AbortFrame, then "Update was failed !".
            for (const auto& run : runs) {
                run->worker.cancel();
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
