#include "station/station.h"

#include <algorithm>
#include <set>

namespace orvane {
namespace {

using namespace std::chrono_literals;

std::vector<std::filesystem::path> foldersToWatch(const StationPlan& plan) {
    if (plan.slots.empty()) {
        return {plan.watchFolder};
    }
    std::set<std::filesystem::path> folders;
    for (const FixedSlot& slot : plan.slots) {
        folders.insert(folderOfPort(slot.port));
    }
    return {folders.begin(), folders.end()};
}

} // namespace

Station::Station(const StationPlan& plan, StationState& state, StationFront& front)
    : plan_(plan), state_(state), front_(front), watch_(foldersToWatch(plan)) {
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
        slot.attempts = 0;
        slot.plugDone = false;
        state_.appeared(slot.name, slot.port);
        return;
    }
    // A job still running ends on its own as unplugged; the plug is done with then.
    if (!slot.job) {
        slot.plugDone = false;
    }
    state_.disappeared(slot.name);
}

void Station::scan() {
    if (!plan_.slots.empty()) {
        for (const auto& slot : slots_) {
            seen(slot->name, slot->port, portPresent(slot->port));
        }
        return;
    }
    std::vector<std::string> present;
    for (const PortFacts& port : portsIn(plan_.watchFolder, !plan_.matches.empty())) {
        if (portMatches(plan_.matches, port)) {
            seen(port.name, port.port, true);
            present.push_back(port.name);
        }
    }
    for (const auto& slot : slots_) {
        if (std::find(present.begin(), present.end(), slot->name) == present.end()) {
            seen(slot->name, slot->port, false);
        }
    }
}

unsigned Station::runningCount() const {
    return static_cast<unsigned>(
        std::count_if(slots_.begin(), slots_.end(), [](const auto& slot) { return slot->job != nullptr; }));
}

void Station::startWaiting() {
    for (const auto& slot : slots_) {
        if (plan_.parallel != 0 && runningCount() >= plan_.parallel) {
            return;
        }
        if (!slot->present || slot->plugDone || slot->job || (plan_.held && plan_.held(slot->name))) {
            continue;
        }
        ++slot->attempts;
        state_.started(slot->name, slot->attempts);
        const SlotSnapshot shown{
            .name = slot->name, .port = slot->port, .present = true, .attempt = slot->attempts};
        slot->job =
            std::make_unique<StationJob>(plan_.job, slot->port, slot->name, state_, front_.attemptLog(shown));
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
            seen(slot->name, slot->port, portPresent(slot->port));
        }
        const bool again = !outcome.succeeded() && !gone && !stopping && slot->present &&
                           outcome.ending != UpgradeEnding::Cancelled && slot->attempts <= plan_.retries;
        state_.ended(slot->name, outcome, !again);
        const SlotSnapshot shown{
            .name = slot->name, .port = slot->port, .present = slot->present, .attempt = slot->attempts};
        front_.attemptEnded(shown, slot->job->frontLog(), outcome, slot->job->seconds());
        slot->job.reset();
        // Gone: the next plug is a new one. Gone and back between two looks: a new plug now.
        slot->plugDone = !again && slot->present && !gone;
        if (gone) {
            slot->attempts = 0;
        }
    }
}

void Station::run(const std::function<bool()>& stopRequested) {
    auto lastScan = std::chrono::steady_clock::now();
    scan();
    while (!stopRequested()) {
        startWaiting();
        const bool changed = watch_.waitForChange(100ms);
        const auto now = std::chrono::steady_clock::now();
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
        watch_.waitForChange(20ms);
    }
}

} // namespace orvane
