#include "station/station_state.h"

#include "station/job_source.h"

#include <algorithm>

namespace orvane {

std::string_view slotStateName(SlotState state) {
    switch (state) {
    case SlotState::Waiting:
        return "waiting";
    case SlotState::Flashing:
        return "flashing";
    case SlotState::Succeeded:
        return endingName(UpgradeEnding::Succeeded);
    case SlotState::Failed:
        return endingName(UpgradeEnding::Failed);
    case SlotState::Unusable:
        return endingName(UpgradeEnding::Unusable);
    case SlotState::WaitingForLabel:
        return "waitingForLabel";
    case SlotState::WaitingForJob:
        return "waitingForJob";
    case SlotState::Cancelled:
        break;
    }
    return endingName(UpgradeEnding::Cancelled);
}

std::optional<double> Tally::yield() const {
    const unsigned all = succeeded + notSucceeded;
    if (all == 0) {
        return std::nullopt;
    }
    return static_cast<double>(succeeded) / all;
}

StationState::StationState(std::string imageName, std::string imageSha256, std::uint64_t imageBytes,
                           unsigned retries) {
    now_.retries = retries;
    now_.imageName = std::move(imageName);
    now_.imageSha256 = std::move(imageSha256);
    now_.imageBytes = imageBytes;
}

void StationState::addListener(StationListener& listener) {
    const std::lock_guard lock(mutex_);
    listeners_.push_back(&listener);
}

StationSnapshot StationState::snapshot() const {
    const std::lock_guard lock(mutex_);
    return now_;
}

SlotSnapshot& StationState::slotLocked(const std::string& name) {
    const auto at = std::find_if(now_.slots.begin(), now_.slots.end(),
                                 [&name](const SlotSnapshot& slot) { return slot.name == name; });
    if (at != now_.slots.end()) {
        return *at;
    }
    now_.slots.push_back(SlotSnapshot{.name = name});
    return now_.slots.back();
}

void StationState::tell(StationEvent::Kind kind, const SlotSnapshot& slot,
                        std::unique_lock<std::mutex>& lock) {
    const StationEvent event{kind, slot};
    const StationSnapshot now = now_;
    const std::vector<StationListener*> listeners = listeners_;
    // Taken before the state is let go, so that events reach listeners in the state's order.
    const std::lock_guard telling(tellMutex_);
    lock.unlock();
    for (StationListener* listener : listeners) {
        listener->stationEvent(event, now);
    }
}

void StationState::appeared(const std::string& name, const std::string& port) {
    std::unique_lock lock(mutex_);
    SlotSnapshot& slot = slotLocked(name);
    slot.port = port;
    slot.present = true;
    slot.attempt = 0;
    slot.unit.reset();
    if (slot.state != SlotState::Flashing) {
        slot.state = SlotState::Waiting;
    }
    tell(StationEvent::Kind::Appeared, slot, lock);
}

void StationState::disappeared(const std::string& name) {
    std::unique_lock lock(mutex_);
    SlotSnapshot& slot = slotLocked(name);
    slot.present = false;
    if (slot.state == SlotState::WaitingForLabel || slot.state == SlotState::WaitingForJob) {
        slot.state = SlotState::Waiting;
    }
    tell(StationEvent::Kind::Disappeared, slot, lock);
}

void StationState::labelled(const std::string& name, const std::optional<std::string>& unit) {
    std::unique_lock lock(mutex_);
    SlotSnapshot& slot = slotLocked(name);
    slot.unit = unit;
    if (slot.state != SlotState::Flashing) {
        slot.state = unit ? SlotState::Waiting : SlotState::WaitingForLabel;
    }
    tell(StationEvent::Kind::Labelled, slot, lock);
}

void StationState::started(const std::string& name, unsigned attempt,
                           std::optional<std::int64_t> jobVersion) {
    std::unique_lock lock(mutex_);
    SlotSnapshot& slot = slotLocked(name);
    slot.state = SlotState::Flashing;
    slot.attempt = attempt;
    slot.jobVersion = jobVersion;
    slot.step.clear();
    slot.percent = 0;
    slot.block = 0;
    slot.bytesPerSecond = 0.0;
    slot.etaSeconds.reset();
    slot.resends = 0;
    tell(StationEvent::Kind::Started, slot, lock);
}

void StationState::progressed(const std::string& name, const std::string& step,
                              const SlotProgress& progress) {
    std::unique_lock lock(mutex_);
    SlotSnapshot& slot = slotLocked(name);
    slot.step = step;
    slot.percent = progress.percent;
    slot.block = progress.block;
    slot.blockCount = progress.blockCount;
    slot.bytesPerSecond = progress.bytesPerSecond;
    slot.etaSeconds = progress.etaSeconds;
    slot.resends = progress.resends;
    tell(StationEvent::Kind::Progress, slot, lock);
}

void StationState::ended(const std::string& name, const UpgradeOutcome& outcome, bool final,
                         const std::string& unit) {
    std::unique_lock lock(mutex_);
    SlotSnapshot& slot = slotLocked(name);
    static constexpr SlotState byEnding[] = {SlotState::Succeeded, SlotState::Failed, SlotState::Unusable,
                                             SlotState::Cancelled};
    slot.state = byEnding[static_cast<std::size_t>(outcome.ending)];
    slot.step = std::string(stepName(outcome.step));
    slot.etaSeconds.reset();
    slot.resends = outcome.resends;
    slot.lastResult = std::string(endingName(outcome.ending));
    slot.lastReason = outcome.reason == UpgradeReason::DeviceGone ? "unplugged" : outcome.reasonText;
    slot.tally.units.add(unit, endingName(outcome.ending));
    now_.total.units.add(unit, endingName(outcome.ending));
    if (final) {
        Tally& mine = slot.tally;
        (outcome.succeeded() ? mine.succeeded : mine.notSucceeded) += 1;
        (outcome.succeeded() ? now_.total.succeeded : now_.total.notSucceeded) += 1;
    }
    tell(StationEvent::Kind::Ended, slot, lock);
}

void StationState::imageChanged() {
    std::unique_lock lock(mutex_);
    tell(StationEvent::Kind::ImageChanged, {}, lock);
}

void StationState::jobTaken(const ReleasedJob& job) {
    std::unique_lock lock(mutex_);
    now_.job = job.name;
    now_.jobVersion = job.version;
    now_.jobRetired = false;
    now_.imageName = job.image.path;
    now_.imageSha256 = job.image.sha256;
    now_.imageBytes = job.image.bytes.size();
    tell(StationEvent::Kind::Job, {}, lock);
}

void StationState::jobRetired() {
    std::unique_lock lock(mutex_);
    now_.jobRetired = true;
    tell(StationEvent::Kind::Job, {}, lock);
}

void StationState::waitingForJob(const std::string& name) {
    std::unique_lock lock(mutex_);
    SlotSnapshot& slot = slotLocked(name);
    if (slot.state == SlotState::WaitingForJob) {
        return;
    }
    slot.state = SlotState::WaitingForJob;
    tell(StationEvent::Kind::WaitingForJob, slot, lock);
}

} // namespace orvane
