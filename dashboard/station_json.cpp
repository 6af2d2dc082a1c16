#include "dashboard/station_json.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

namespace orvane {
namespace {

DashboardJson finiteOrNull(double value) {
    if (!std::isfinite(value)) {
        return nullptr;
    }
    return std::round(value * 10.0) / 10.0;
}

std::string utcNow() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

} // namespace

DashboardJson tallyJson(const Tally& tally) {
    return {{"succeeded", tally.succeeded},
            {"notSucceeded", tally.notSucceeded},
            {"yield", finiteOrNull(tally.yield() * 100.0)}};
}

DashboardJson slotJson(const SlotSnapshot& slot) {
    const std::string_view state = slot.present ? slotStateName(slot.state) : "unplugged";
    return {{"slot", slot.name},
            {"port", slot.port},
            {"present", slot.present},
            {"state", state},
            {"attempt", slot.attempt},
            {"step", slot.step},
            {"percent", slot.percent},
            {"bytesPerSecond", finiteOrNull(slot.bytesPerSecond)},
            {"etaSeconds", slot.etaSeconds ? finiteOrNull(*slot.etaSeconds) : DashboardJson(nullptr)},
            {"resends", slot.resends},
            {"lastResult", slot.lastResult},
            {"lastReason", slot.lastReason},
            {"tally", tallyJson(slot.tally)}};
}

DashboardJson stationJson(const StationSnapshot& now) {
    DashboardJson slots = DashboardJson::array();
    for (const SlotSnapshot& slot : now.slots) {
        slots.push_back(slotJson(slot));
    }
    return {{"image", now.imageName},
            {"sha256", now.imageSha256},
            {"bytes", now.imageBytes},
            {"total", tallyJson(now.total)},
            {"slots", slots}};
}

DashboardJson slotStateMessage(DashboardJson slot, const Tally& total) {
    return {{"time", utcNow()}, {"slot", std::move(slot)}, {"total", tallyJson(total)}};
}

std::string contractSlotEvent(const StationEvent& event) {
    return dumpJson({{"event", "slot"},
                     {"time", utcNow()},
                     {"port", event.slot.port},
                     {"slot", event.slot.name},
                     {"present", event.kind == StationEvent::Kind::Appeared}});
}

std::string dumpJson(const DashboardJson& json) {
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace orvane
