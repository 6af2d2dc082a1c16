#include "station/station.h"

#include "records/record_id.h"
#include "records/unit_yield.h"
#include "serial/port_key.h"

#include <algorithm>

namespace orvane {

using namespace std::chrono_literals;

Station::Station(const StationPlan& plan, StationState& state, StationFront& front, StationParts parts)
    : plan_(plan), state_(state), front_(front), parts_(parts),
      labels_(plan.labels, plan.labelWindow, plan.job.settings.language) {
    for (const FixedSlot& fixed : plan.slots) {
        slotNamed(fixed.nickname.empty() ? fixed.port : fixed.nickname, fixed.port);
    }
}

Station::~Station() = default;

Station::Slot& Station::slotNamed(const std::string& name, const std::string& port) {
    const auto at =
        std::find_if(slots_.begin(), slots_.end(), [&name](const auto& slot) { return slot->name == name; });
    if (at != slots_.end()) {
        return **at;
    }
    slots_.push_back(std::make_unique<Slot>(Slot{.name = name, .port = port}));
    return *slots_.back();
}

void Station::seen(const std::string& name, const std::string& port, bool present) {
    Slot& slot = slotNamed(name, port);
    if (present == slot.present) {
        return;
    }
    slot.present = present;
    if (present) {
        slot.port = port;
        slot.device = parts_.ports.deviceOf(port);
        ++slot.plug;
        slot.attempts = 0;
        slot.plugDone = false;
        state_.appeared(slot.name, slot.port);
        labelPlug(slot);
        return;
    }
    slot.awaitingLabel = false;
    // A job still running ends on its own as unplugged; the plug is done with then.
    if (!slot.job) {
        slot.plugDone = false;
    }
    state_.disappeared(slot.name);
}

// A link taken away while its device stays (removed by hand, renamed by udev) is no unplug:
// the camera is still on the line, and its job goes on to an ending of its own.
bool Station::deviceStays(const Slot& slot) {
    return slot.present && !slot.device.empty() && parts_.ports.present(slot.device);
}

void Station::labelPlug(Slot& slot) {
    slot.pluggedAs = ++plugs_;
    slot.unit = labels_.take(parts_.clock.now());
    slot.awaitingLabel = !slot.unit && plan_.requireUnit;
    if (slot.unit || slot.awaitingLabel) {
        state_.labelled(slot.name, slot.unit);
    }
}

void Station::readLabels() {
    const auto now = parts_.clock.now();
    for (const LabelNote& note : labels_.read(now)) {
        front_.labelNote(note);
    }
    // Cameras already waiting take the labels first, the one plugged first first.
    for (;;) {
        Slot* longest = nullptr;
        for (const auto& slot : slots_) {
            if (slot->awaitingLabel && (longest == nullptr || slot->pluggedAs < longest->pluggedAs)) {
                longest = slot.get();
            }
        }
        std::optional<std::string> label = longest != nullptr ? labels_.take(now) : std::nullopt;
        if (!label) {
            return;
        }
        longest->unit = std::move(label);
        longest->awaitingLabel = false;
        state_.labelled(longest->name, longest->unit);
    }
}

bool Station::isScanner(const PortFacts& port) const {
    return !plan_.scanDevice.empty() && portKeyOf(port.port).sameAs(portKeyOf(plan_.scanDevice));
}

void Station::scan() {
    // A label read just before its camera's plug is seen belongs to that camera.
    readLabels();
    if (!plan_.slots.empty()) {
        for (const auto& slot : slots_) {
            seen(slot->name, slot->port, parts_.ports.present(slot->port) || deviceStays(*slot));
        }
        return;
    }
    std::vector<std::string> present;
    for (const PortFacts& port : parts_.ports.portsIn(plan_.watchFolder, !plan_.matches.empty())) {
        if (portMatches(plan_.matches, port) && !isScanner(port)) {
            seen(port.name, port.port, true);
            present.push_back(port.name);
        }
    }
    for (const auto& slot : slots_) {
        if (std::find(present.begin(), present.end(), slot->name) == present.end()) {
            seen(slot->name, slot->port, deviceStays(*slot));
        }
    }
}

unsigned Station::runningCount() const {
    return static_cast<unsigned>(
        std::count_if(slots_.begin(), slots_.end(), [](const auto& slot) { return slot->job != nullptr; }));
}

void Station::lookAtJob() {
    if (plan_.released == nullptr) {
        return;
    }
    for (const JobNote& note : plan_.released->look()) {
        if (note.kind == JobNote::Kind::Taken) {
            state_.jobTaken(*note.job);
        } else if (note.kind == JobNote::Kind::Retired) {
            state_.jobRetired();
        }
        front_.jobNote(note);
    }
}

bool Station::jobReady(Slot& slot) {
    if (plan_.released == nullptr) {
        return true;
    }
    if (plan_.released->retired()) {
        state_.waitingForJob(slot.name);
        return false;
    }
    if (slot.attempts == 0) {
        slot.plugJob = plan_.released->forNewPlug(); // retries keep what the first attempt took
    }
    return slot.plugJob != nullptr;
}

void Station::startWaiting() {
    lookAtJob();
    for (const auto& slot : slots_) {
        if (plan_.parallel != 0 && runningCount() >= plan_.parallel) {
            return;
        }
        if (!slot->present || slot->plugDone || slot->job || slot->awaitingLabel ||
            (plan_.held && plan_.held(slot->name)) || !jobReady(*slot)) {
            continue;
        }
        if (slot->attempts == 0) {
            slot->plugId = newRecordId(); // a plug's first attempt: a new plug, also after a swap
        }
        ++slot->attempts;
        state_.started(slot->name, slot->attempts,
                       slot->plugJob ? std::optional(slot->plugJob->version) : std::nullopt);
        const SlotSnapshot shown{
            .name = slot->name, .port = slot->port, .present = true, .attempt = slot->attempts};
        slot->job = parts_.jobs.make(
            {slot->port, slot->name, slot->plugId, slot->attempts, slot->unit, slot->plugJob},
            front_.attemptLog(shown));
        slot->jobPlug = slot->plug;
        slot->jobAttempt = slot->attempts;
        slot->jobUnit = unitKey(slot->unit, slot->plugId);
        slot->job->start();
    }
}

void Station::reap(bool stopping) {
    for (const auto& slot : slots_) {
        if (!slot->job || slot->job->running()) {
            continue;
        }
        const UpgradeOutcome outcome = slot->job->finish();
        const bool gone = outcome.reason == UpgradeReason::DeviceGone;
        if (gone) {
            // The device went before its folder said so (a link left behind): look now.
            seen(slot->name, slot->port, parts_.ports.present(slot->port));
        }
        // Pulled, or swapped for another camera while the job ran: what the job did was for the
        // camera that left, and the one there now is a new plug.
        const bool samePlug = slot->present && slot->plug == slot->jobPlug;
        const bool again = !outcome.succeeded() && !gone && !stopping && samePlug &&
                           outcome.ending != UpgradeEnding::Cancelled && slot->attempts <= plan_.retries;
        state_.ended(slot->name, outcome, !again, slot->jobUnit);
        const SlotSnapshot shown{
            .name = slot->name, .port = slot->port, .present = slot->present, .attempt = slot->jobAttempt};
        front_.attemptEnded(shown, slot->job->frontLog(), outcome, slot->job->seconds());
        if (slot->awaitingLabel) {
            state_.labelled(slot->name, std::nullopt); // swapped meanwhile for a camera with none yet
        }
        slot->job.reset();
        // Gone: the next plug is a new one. Gone and back between two looks: a new plug now.
        slot->plugDone = !again && samePlug && !gone;
        if (gone) {
            slot->attempts = 0;
        }
    }
}

void Station::run(const std::function<bool()>& stopRequested) {
    auto lastScan = parts_.clock.now();
    scan();
    while (!stopRequested()) {
        readLabels();
        startWaiting();
        const bool changed = parts_.ports.waitForChange(100ms);
        const auto now = parts_.clock.now();
        if (changed || now - lastScan >= 1s) {
            scan();
            lastScan = now;
        }
        reap(false);
    }
    for (const auto& slot : slots_) {
        if (slot->job) {
            slot->job->cancel();
        }
    }
    while (runningCount() != 0) {
        reap(true);
        parts_.ports.waitForChange(20ms);
    }
}

} // namespace orvane
