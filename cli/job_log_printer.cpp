#include "cli/job_log_printer.h"

#include <algorithm>

#include "cli/progress_bar.h"

namespace orvane {

JobLogPrinter::JobLogPrinter(Console& console) : console_(console) {}

void JobLogPrinter::printLinesLocked(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        // The last progress line moves into the log at the end of a transfer; it has been
        // shown already (as a line, a bar or an event).
        if (!lastProgressLine_.empty() && line == lastProgressLine_) {
            continue;
        }
        lastLine_ = line;
        console_.line(line);
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
        if (console_.mode() == OutputMode::Plain && (!percent || percent != printedPercent_)) {
            console_.line(lastProgressLine_);
            printedPercent_ = percent;
        }
    }
    return mirror_.text() + tail;
}

void JobLogPrinter::progress(const UpgradeProgress& progress) {
    const std::lock_guard lock(mutex_);
    latest_ = progress;
    if (!firstProgress_) {
        firstProgress_.emplace(Clock::now(), progress.offset);
    }
    if (console_.mode() == OutputMode::Json) {
        console_.event(JsonObject()
                           .add("event", "progress")
                           .add("percent", progress.percent)
                           .add("block", progress.blockNumber)
                           .add("blocks", progress.blockCount)
                           .add("offset", progress.offset)
                           .add("length", progress.length)
                           .add("resend", progress.resend));
    } else if (console_.mode() == OutputMode::Terminal) {
        drawLocked();
    }
}

void JobLogPrinter::drawLocked() {
    if (!latest_ || !firstProgress_) {
        return;
    }
    const UpgradeProgress& now = *latest_;
    const bool done = now.percent >= 100;
    ProgressBarState bar;
    bar.percent = now.percent;
    bar.blockCount = now.blockCount;
    bar.blocksDone = done ? now.blockCount : now.blockNumber - 1;
    // The rate counts the bytes the camera has accepted since the first block went out.
    const double seconds = std::chrono::duration<double>(Clock::now() - firstProgress_->first).count();
    const std::uint32_t doneBytes = done ? now.length : now.offset;
    const double bytes = static_cast<double>(doneBytes - std::min(doneBytes, firstProgress_->second));
    if (seconds > 0.2 && bytes > 0) {
        bar.bytesPerSecond = bytes / seconds;
        bar.secondsLeft = static_cast<double>(now.length - doneBytes) / *bar.bytesPerSecond;
    }
    if (done) {
        bar.secondsLeft = 0.0;
    }
    console_.drawBar(formatProgressBar(bar));
}

void JobLogPrinter::reason(const std::string& text) {
    if (console_.json()) {
        return;
    }
    const std::lock_guard lock(mutex_);
    console_.note(text);
}

void JobLogPrinter::advice(const std::string& text) {
    const std::lock_guard lock(mutex_);
    if (console_.json()) {
        console_.event(JsonObject().add("event", "advice").add("text", text));
        return;
    }
    console_.note(text);
}

std::string JobLogPrinter::lastLine() const {
    const std::lock_guard lock(mutex_);
    return lastLine_;
}

void JobLogPrinter::finish() {
    console_.endBar();
}

} // namespace orvane
