#include "line/line_station.h"

namespace orvane {
namespace {

bool isTrue(const JsonFields& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_boolean() && found->get<bool>();
}

} // namespace

std::string_view statusName(StationStatus status) {
    switch (status) {
    case StationStatus::stopped:
        return "stopped";
    case StationStatus::notHeardFrom:
        return "notHeardFrom";
    default:
        return "running";
    }
}

StationStatus stationStatus(const LineStation& station, std::int64_t serverNowMs,
                            std::chrono::seconds staleAfter) {
    if (station.stoppedMs) {
        return StationStatus::stopped;
    }
    const auto silentMs = serverNowMs - station.lastSeenMs;
    return silentMs > std::chrono::milliseconds(staleAfter).count() ? StationStatus::notHeardFrom
                                                                    : StationStatus::running;
}

NeedsPerson& NeedsPerson::operator+=(const NeedsPerson& other) {
    failed += other.failed;
    unusable += other.unusable;
    waitingForLabel += other.waitingForLabel;
    paused += other.paused;
    notHeardFrom += other.notHeardFrom;
    return *this;
}

NeedsPerson needsPerson(const LineStation& station, StationStatus status) {
    NeedsPerson counts;
    if (status == StationStatus::stopped) {
        return counts;
    }
    counts.notHeardFrom = status == StationStatus::notHeardFrom ? 1 : 0;
    const bool stationPaused = station.state.is_object() && isTrue(station.state, "paused");
    counts.paused = stationPaused ? 1 : 0;
    const auto slots = station.state.is_object() ? station.state.find("slots") : station.state.end();
    if (slots == station.state.end() || !slots->is_array()) {
        return counts;
    }
    for (const JsonFields& slot : *slots) {
        if (!slot.is_object()) {
            continue;
        }
        const auto state = slot.find("state");
        const std::string name = state != slot.end() && state->is_string() ? state->get<std::string>() : "";
        counts.failed += name == "failed";
        counts.unusable += name == "unusable";
        counts.waitingForLabel += name == "waitingForLabel";
        // A paused station's slots are its one pause, not one each.
        counts.paused += !stationPaused && isTrue(slot, "paused");
    }
    return counts;
}

} // namespace orvane
