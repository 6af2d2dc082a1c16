#include "station/progress_tap.h"

namespace orvane {

ProgressTap::ProgressTap(UpgradeLog* front, StationState& state, std::string slot)
    : front_(front), state_(state), slot_(std::move(slot)) {}

void ProgressTap::replaceLog(const std::string& text) {
    if (front_ != nullptr) {
        front_->replaceLog(text);
    }
}

void ProgressTap::appendLog(const std::string& text) {
    if (front_ != nullptr) {
        front_->appendLog(text);
    }
}

std::string ProgressTap::showWithLog(const std::string& tail) {
    return front_ != nullptr ? front_->showWithLog(tail) : tail;
}

void ProgressTap::reason(const std::string& text) {
    if (front_ != nullptr) {
        front_->reason(text);
    }
}

void ProgressTap::advice(const std::string& text) {
    if (front_ != nullptr) {
        front_->advice(text);
    }
}

void ProgressTap::progress(const UpgradeProgress& progress) {
    if (front_ != nullptr) {
        front_->progress(progress);
    }
    const auto now = TransferClock::Clock::now();
    transfer_.started(progress, now);
    resends_ += progress.resend ? 1U : 0U;
    const TransferPace pace = transfer_.paceAt(progress, now);
    const SlotProgress shown{.percent = progress.percent,
                             .block = progress.blockNumber,
                             .blockCount = progress.blockCount,
                             .bytesPerSecond = pace.bytesPerSecond.value_or(0.0),
                             .etaSeconds = pace.secondsLeft,
                             .resends = resends_};
    state_.progressed(slot_, "block", shown);
}

} // namespace orvane
