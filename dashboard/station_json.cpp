#include "dashboard/station_json.h"

#include <chrono>
#include <cmath>
#include <cstdio>
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
    using namespace std::chrono;
    const auto now = time_point_cast<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day}; // the calendar of C++20: gmtime_r is not on every system
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
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
