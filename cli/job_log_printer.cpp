#include "cli/job_log_printer.h"

#include "cli/progress_bar.h"

namespace orvane {

JobLogPrinter::JobLogPrinter(Console& console, PortTag port, std::size_t barRow)
    : console_(console), port_(std::move(port)), barRow_(barRow) {}

std::string JobLogPrinter::resendText(const UpgradeProgress& progress) {
    return "block " + std::to_string(progress.blockNumber) + " refused, sending again (" +
           std::to_string(progress.refusals) + ")";
}

void JobLogPrinter::printLinesLocked(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        // The last progress line moves into the log at the end of a transfer; it has been
        // shown already (as a line, a bar or an event).
        if (!lastProgressLine_.empty() && line == lastProgressLine_) {
            continue;
        }
        lastLine_ = line;
        console_.line(line, port_);
    }
}

void JobLogPrinter::replaceLog(const std::string& text) {
    const std::lock_guard lock(mutex_);
    printLinesLocked(mirror_.replace(text));
}

void JobLogPrinter::appendLog(const std::string& text) {
    const std::lock_guard lock(mutex_);
    printLinesLocked(mirror_.append(text));
}

std::string JobLogPrinter::showWithLog(const std::string& tail) {
    const std::lock_guard lock(mutex_);
    const auto lines = splitLines(tail);
    if (!lines.empty()) {
        lastProgressLine_ = lines.back();
        // A block sent again shows the same line again; a script wants each percentage once.
        // The bar and JSON are fed by the structured progress that follows.
        const std::optional<unsigned> percent = percentOfProgressLine(lastProgressLine_);
        if (plainProgressLocked() && (!percent || percent != printedPercent_)) {
            console_.line(lastProgressLine_, port_);
            printedPercent_ = percent;
        }
    }
    return mirror_.text() + tail;
}

void JobLogPrinter::progress(const UpgradeProgress& progress) {
    const std::lock_guard lock(mutex_);
    latest_ = progress;
    transfer_.started(progress, Clock::now());
    if (console_.mode() == OutputMode::Json) {
        JsonFields fields{{"percent", progress.percent},   {"block", progress.blockNumber},
                          {"blocks", progress.blockCount}, {"offset", progress.offset},
                          {"length", progress.length},     {"resend", progress.resend}};
        if (progress.refusals > 0) {
            fields["refusals"] = progress.refusals;
        }
        console_.event("progress", fields, port_);
    } else if (console_.mode() == OutputMode::Terminal) {
        drawLocked();
    }
    if (plainProgressLocked() && progress.resend && progress.refusals > 0) {
        // A camera refusing a block for ever must not look hung, nor flood a log: the first
        // refusal, then one line a second at most.
        const auto now = Clock::now();
        if (!lastResendNote_ || now - *lastResendNote_ >= std::chrono::seconds{1}) {
            lastResendNote_ = now;
            console_.note(resendText(progress), port_);
        }
    }
}

void JobLogPrinter::drawLocked() {
    if (!latest_ || !transfer_.running()) {
        return;
    }
    const UpgradeProgress& now = *latest_;
    const bool done = now.percent >= 100;
    ProgressBarState bar;
    bar.percent = now.percent;
    bar.blockCount = now.blockCount;
    bar.blocksDone = done ? now.blockCount : now.blockNumber - 1;
    const TransferPace pace = transfer_.paceAt(now, Clock::now());
    bar.bytesPerSecond = pace.bytesPerSecond;
    bar.secondsLeft = pace.secondsLeft;
    BarRow row{port_.namedInLines ? portLabel(port_.port) : std::string(), bar, std::string()};
    if (now.resend && now.refusals > 0 && !done) {
        row.extra = resendText(now);
    }
    barsFit_ = console_.drawBar(row, barRow_);
}

bool JobLogPrinter::plainProgressLocked() const {
    // Bars that do not fit the terminal give way to the plain lines a log file gets.
    return console_.mode() == OutputMode::Plain || (console_.mode() == OutputMode::Terminal && !barsFit_);
}

void JobLogPrinter::reason(const std::string& text) {
    if (console_.json()) {
        return;
    }
    const std::lock_guard lock(mutex_);
    console_.note(text, port_);
}

void JobLogPrinter::advice(const std::string& text) {
    const std::lock_guard lock(mutex_);
    console_.advice(text, port_);
}

std::string JobLogPrinter::lastLine() const {
    const std::lock_guard lock(mutex_);
    return lastLine_;
}

std::optional<UpgradeProgress> JobLogPrinter::latestProgress() const {
    const std::lock_guard lock(mutex_);
    return latest_;
}

void JobLogPrinter::finish() {
    console_.endBar();
}

} // namespace orvane
