#include "cli/station_view.h"

#include "cli/exit_codes.h"
#include "cli/upgrade_summary.h"
#include "output/bar_layout.h"
#include "output/job_log_printer.h"
#include "output/line_wrap.h"
#include "output/terminal_size.h"
#include "output/text_table.h"
#include "output/yield_text.h"
#include "station/slot_event.h"
#include "text/string_table.h"
#include "text/text_ids.h"

#include <cmath>
#include <cstdio>

namespace orvane {

StationView::StationView(Console& console, TextLanguage language, bool bell, std::chrono::seconds labelWindow)
    : console_(console), language_(language), bell_(bell), window_(labelWindow) {}

std::unique_ptr<UpgradeLog> StationView::attemptLog(const SlotSnapshot& slot) {
    if (!console_.json()) {
        return nullptr; // the slot's lines say it
    }
    return std::make_unique<JobLogPrinter>(console_, PortTag{slot.port, true});
}

void StationView::attemptEnded(const SlotSnapshot& slot, UpgradeLog* log, const UpgradeOutcome& outcome,
                               double seconds) {
    if (bell_ && !console_.json()) {
        console_.bell();
    }
    if (!console_.json()) {
        return;
    }
    CameraReport report;
    report.port = slot.port;
    report.outcome = outcome;
    report.seconds = seconds;
    report.exitStatus = outcome.succeeded()                         ? exitSuccess
                        : outcome.ending == UpgradeEnding::Unusable ? exitUnusable
                                                                    : exitFailed;
    if (auto* printer = dynamic_cast<JobLogPrinter*>(log)) {
        report.lastLine = printer->lastLine();
        if (const auto progress = printer->latestProgress()) {
            report.bytes = outcome.succeeded() ? progress->length : progress->offset;
        }
    }
    CommandResult result = cameraResult(report, true);
    result.details["attempt"] = slot.attempt;
    console_.result(result);
}

std::string StationView::countersText(const Tally& tally) const {
    return fillText(textOf(IDS_STATION_COUNTERS, language_),
                    {std::to_string(tally.succeeded), std::to_string(tally.notSucceeded),
                     yieldText(tally.units.firstPassYield()), yieldText(tally.units.finalYield())});
}

std::string StationView::retryText(const SlotSnapshot& slot, unsigned retries) const {
    if (slot.attempt < 2) {
        return {};
    }
    return fillText(textOf(IDS_STATION_RETRY, language_),
                    {std::to_string(slot.attempt - 1), std::to_string(retries)});
}

std::string StationView::slotState(const SlotSnapshot& slot, unsigned retries) const {
    const std::string retry = retryText(slot, retries);
    return slotTitle(slot) + (retry.empty() ? "" : " (" + retry + ")") + ": " + stateText(slot);
}

std::string StationView::slotTitle(const SlotSnapshot& slot) const {
    // A label holds no control or invisible character: it is shown as read.
    return slot.unit ? portLabel(slot.name) + " [" + *slot.unit + "]" : portLabel(slot.name);
}

void StationView::labelNote(const LabelNote& note) {
    switch (note.kind) {
    case LabelNote::Kind::Read:
        console_.note(fillText(textOf(IDS_LABEL_READ, language_), {note.text}));
        return;
    case LabelNote::Kind::Refused:
        console_.note(fillText(textOf(IDS_LABEL_REFUSED, language_), {note.text}));
        return;
    case LabelNote::Kind::Dropped:
        console_.note(
            fillText(textOf(IDS_LABEL_DROPPED, language_), {note.text, std::to_string(window_.count())}));
        return;
    }
}

std::string StationView::stateText(const SlotSnapshot& slot) const {
    std::string state;
    if (slot.state == SlotState::Waiting) {
        state = textOf(IDS_STATION_WAITING, language_);
    } else if (slot.state == SlotState::WaitingForLabel) {
        state = textOf(IDS_STATION_WAITING_LABEL, language_);
    } else if (slot.state == SlotState::WaitingForJob) {
        state = textOf(IDS_STATION_WAITING_JOB, language_);
    } else if (slot.state == SlotState::Flashing) {
        const long left = slot.etaSeconds ? std::lround(*slot.etaSeconds) : 0;
        state = fillText(textOf(IDS_STATION_FLASHING, language_),
                         {std::to_string(slot.percent), std::to_string(left)});
    } else {
        state = std::string(slotStateName(slot.state));
        if (!slot.lastReason.empty()) {
            state += " (" + slot.lastReason + ")";
        }
    }
    return state;
}

void StationView::say(const std::string& text, bool note) {
    // Escaped first, so that no byte of a name can break a row or move the cursor; then folded
    // by columns, never inside a character.
    const std::string shown = shownCell(text);
    const auto size = terminalSizeOf(note ? stderr : stdout);
    std::string folded;
    for (const std::string& row : size ? wrappedLines(shown, size->columns) : std::vector{shown}) {
        folded += (folded.empty() ? "" : "\n") + row;
    }
    if (note) {
        console_.note(folded);
    } else {
        console_.line(folded);
    }
}

void StationView::noFolder(const std::string& folder) {
    const std::string text = fillText(textOf(IDS_STATION_NO_FOLDER, language_), {folder});
    if (console_.json()) {
        console_.advice(text);
    } else {
        say(text, true);
    }
}

void StationView::stationEvent(const StationEvent& event, const StationSnapshot& now) {
    using Kind = StationEvent::Kind;
    if (event.kind == Kind::Job) {
        return; // said by jobNote, with its reason
    }
    if (event.kind == Kind::ImageChanged) {
        const std::string text =
            fillText(textOf(IDS_STATION_IMAGE_CHANGED, language_), {now.imageName, now.imageSha256});
        if (console_.json()) {
            console_.note(text);
        } else {
            say(text, true);
        }
        return;
    }
    if (event.kind == Kind::Appeared || event.kind == Kind::Disappeared) {
        const bool in = event.kind == Kind::Appeared;
        if (console_.json()) {
            console_.event(slotEventKind, slotEventFields(event), PortTag{event.slot.port});
        } else {
            say(fillText(textOf(in ? IDS_STATION_PLUGGED : IDS_STATION_UNPLUGGED, language_),
                         {portLabel(event.slot.name)}));
        }
        return;
    }
    const std::string retry = retryText(event.slot, now.retries);
    if (!console_.json() && event.kind == Kind::Started && !retry.empty()) {
        say(portLabel(event.slot.name) + ": " + retry);
    }
    if (!console_.json() && event.kind == Kind::Ended) {
        say(slotState(event.slot, now.retries) + " | " + countersText(now.total));
    }
    drawSlots(now, event.kind == Kind::Progress);
}

void StationView::drawSlots(const StationSnapshot& now, bool progressOnly) {
    const auto time = std::chrono::steady_clock::now();
    if (console_.mode() != OutputMode::Terminal ||
        (progressOnly && time - lastDraw_ < std::chrono::milliseconds{100})) {
        return;
    }
    lastDraw_ = time;
    console_.reserveBars(now.slots.size());
    for (std::size_t row = 0; row < now.slots.size(); ++row) {
        const SlotSnapshot& slot = now.slots[row];
        ProgressBarState bar{slot.percent, slot.block, slot.blockCount, {}, slot.etaSeconds};
        if (slot.bytesPerSecond > 0.0) {
            bar.bytesPerSecond = slot.bytesPerSecond;
        }
        const std::string state =
            slot.state == SlotState::Flashing ? retryText(slot, now.retries) : stateText(slot);
        const std::string resends = slot.resends == 0 ? "" : " resends " + std::to_string(slot.resends);
        console_.drawBar({shownCell(slotTitle(slot)), bar, shownCell(state + resends)}, row);
    }
}

void StationView::today(const Tally& tally) {
    if (console_.json()) {
        console_.event("today", {{"succeeded", tally.succeeded},
                                 {"notSucceeded", tally.notSucceeded},
                                 {"firstPassYield", yieldPercentJson(tally.units.firstPassYield())},
                                 {"finalYield", yieldPercentJson(tally.units.finalYield())}});
        return;
    }
    say(fillText(textOf(IDS_STATION_TODAY, language_), {countersText(tally)}));
}

int StationView::summary(const StationSnapshot& now, int exitStatus) {
    const std::string total = countersText(now.total);
    if (console_.json()) {
        JsonFields slots = JsonFields::array();
        for (const SlotSnapshot& slot : now.slots) {
            slots.push_back({{"slot", slot.name},
                             {"port", slot.port},
                             {"succeeded", slot.tally.succeeded},
                             {"notSucceeded", slot.tally.notSucceeded}});
        }
        console_.event("stationSummary",
                       {{"exitCode", exitStatus},
                        {"succeeded", now.total.succeeded},
                        {"notSucceeded", now.total.notSucceeded},
                        {"yield", yieldPercentJson(now.total.yield())},
                        {"firstPassYield", yieldPercentJson(now.total.units.firstPassYield())},
                        {"finalYield", yieldPercentJson(now.total.units.finalYield())},
                        {"sha256", now.imageSha256},
                        {"slots", slots}});
        return exitStatus;
    }
    for (const SlotSnapshot& slot : now.slots) {
        say(slotState(slot, now.retries) + " | " + countersText(slot.tally));
    }
    say(fillText(textOf(IDS_STATION_STOPPED, language_), {total}));
    return exitStatus;
}

} // namespace orvane
