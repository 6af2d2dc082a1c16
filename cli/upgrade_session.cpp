#include "cli/upgrade_session.h"

#include "cli/exit_codes.h"
#include "cli/job_log_printer.h"
#include "serial/serial_port.h"
#include "upgrade/clock.h"
#include "upgrade/reply_receiver.h"
#include "upgrade/upgrade_worker.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
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
          printer(console, several ? portLabel(portName) : "", row), receiver(link, flags, clock),
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
};

JsonObject resultEvent(const CameraReport& camera, bool several) {
    JsonObject result;
    result.add("event", "result");
    if (several) {
        result.add("port", camera.port);
    }
    const bool ok = camera.exitStatus == exitSuccess;
    // A job that ends before its first log line (no port) has only its reason to say.
    const std::string& text = camera.lastLine.empty() ? camera.outcome.reasonText : camera.lastLine;
    result.add("ok", ok).add("exitCode", camera.exitStatus).add("text", text);
    if (!ok) {
        result.add("reason", camera.outcome.reasonText).add("step", stepName(camera.outcome.step));
        if (camera.outcome.step == UpgradeStep::Block) {
            result.add("block", camera.outcome.block).add("blocks", camera.outcome.blockCount);
        }
    }
    if (several) {
        result.add("seconds", camera.seconds)
            .add("bytesPerSecond", camera.bytesPerSecond())
            .add("resends", camera.outcome.resends);
    }
    return result;
}

std::string fixed1(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// The table at the end of a run of several: one row a port, columns padded to their widest
// cell, the reason last since it is the longest.
void printSummary(Console& console, std::span<const CameraReport> cameras) {
    std::vector<std::vector<std::string>> rows{{"PORT", "RESULT", "SECONDS", "BYTES/S", "RESENDS", "REASON"}};
    for (const CameraReport& camera : cameras) {
        const std::string reason = camera.exitStatus == exitSuccess ? "" : camera.outcome.reasonText;
        rows.push_back({portLabel(camera.port), std::string(endingName(camera.outcome.ending)),
                        fixed1(camera.seconds),
                        std::to_string(static_cast<long long>(camera.bytesPerSecond())),
                        std::to_string(camera.outcome.resends), reason});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - row[i].size() + 2, ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        console.line(line);
    }
}

JsonObject summaryEvent(std::span<const CameraReport> cameras, int status) {
    std::vector<JsonObject> entries;
    std::size_t succeeded = 0;
    for (const CameraReport& camera : cameras) {
        succeeded += camera.exitStatus == exitSuccess ? 1 : 0;
        JsonObject entry;
        entry.add("port", camera.port)
            .add("ok", camera.exitStatus == exitSuccess)
            .add("exitCode", camera.exitStatus)
            .add("ending", endingName(camera.outcome.ending))
            .add("seconds", camera.seconds)
            .add("bytesPerSecond", camera.bytesPerSecond())
            .add("resends", camera.outcome.resends);
        if (camera.exitStatus != exitSuccess) {
            entry.add("reason", camera.outcome.reasonText);
        }
        entries.push_back(std::move(entry));
    }
    const std::string text =
        std::to_string(succeeded) + " of " + std::to_string(cameras.size()) + " cameras upgraded";
    JsonObject summary;
    summary.add("event", "summary")
        .add("ok", status == exitSuccess)
        .add("exitCode", status)
        .add("text", text);
    if (status != exitSuccess) {
        std::string failed;
        for (const CameraReport& camera : cameras) {
            if (camera.exitStatus != exitSuccess) {
                failed += (failed.empty() ? "" : ", ") + portLabel(camera.port);
            }
        }
        summary.add("reason", "not upgraded: " + failed);
    }
    return summary.add("cameras", std::span<const JsonObject>(entries));
}

} // namespace

std::string portLabel(std::string_view port) {
    constexpr std::string_view dev = "/dev/";
    return std::string(port.substr(port.rfind(dev, 0) == 0 ? dev.size() : 0));
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

UpgradeRun runUpgradeSession(const UpgradeRequest& request, Console& console,
                             const InterruptWatch& interrupt) {
    const bool several = request.ports.size() > 1;
    std::vector<std::unique_ptr<CameraRun>> runs;
    for (std::size_t i = 0; i < request.ports.size(); ++i) {
        runs.push_back(std::make_unique<CameraRun>(request, request.ports[i],
                                                   i < request.links.size() ? request.links[i] : nullptr,
                                                   console, several, i));
    }
    // Every job starts before any is waited for: the cameras are upgraded side by side.
    for (const auto& run : runs) {
        CameraRun* r = run.get();
        r->started = SteadyClock::now();
        r->worker.start(
            UpgradeSettings{request.target, request.language, request.maxResends, request.lowLatency},
            [r](const UpgradeOutcome&) {
                r->seconds = std::chrono::duration<double>(SteadyClock::now() - r->started).count();
            });
    }
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
        CameraReport report;
        report.port = run->port;
        report.outcome = run->worker.wait();
        run->printer.finish();
        // Closing first wakes the receiver's read at once, so the stop does not wait it out.
        run->link.closePort();
        run->receiver.stop();
        report.exitStatus = exitStatusOf(report.outcome, interrupt);
        report.seconds = run->seconds;
        report.lastLine = run->printer.lastLine();
        if (const auto progress = run->printer.latestProgress()) {
            report.bytes = report.outcome.succeeded() ? progress->length : progress->offset;
        }
        console.event(resultEvent(report, several));
        result.cameras.push_back(std::move(report));
    }
    result.exitStatus = combinedExitStatus(result.cameras, interrupt);
    if (several) {
        if (console.json()) {
            console.event(summaryEvent(result.cameras, result.exitStatus));
        } else {
            printSummary(console, result.cameras);
        }
    }
    return result;
}

} // namespace orvane
