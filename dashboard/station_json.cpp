#include "dashboard/station_json.h"

#include "output/yield_text.h"
#include "station/slot_event.h"

#include <chrono>
#include <utility>

namespace orvane {

DashboardJson tallyJson(const Tally& tally) {
    return {{"succeeded", tally.succeeded},
            {"notSucceeded", tally.notSucceeded},
            {"yield", yieldPercentJson(tally.yield())},
            {"firstPassYield", yieldPercentJson(tally.units.firstPassYield())},
            {"finalYield", yieldPercentJson(tally.units.finalYield())}};
}

DashboardJson slotJson(const SlotSnapshot& slot) {
    const std::string_view state = slot.present ? slotStateName(slot.state) : "unplugged";
    return {{"slot", slot.name},
            {"port", slot.port},
            {"present", slot.present},
            {"state", state},
            {"unit", slot.unit ? DashboardJson(*slot.unit) : DashboardJson(nullptr)},
            {"attempt", slot.attempt},
            {"jobVersion", slot.jobVersion ? DashboardJson(*slot.jobVersion) : DashboardJson(nullptr)},
            {"step", slot.step},
            {"percent", slot.percent},
            {"bytesPerSecond", oneDecimal(slot.bytesPerSecond)},
            {"etaSeconds", slot.etaSeconds ? oneDecimal(*slot.etaSeconds) : DashboardJson(nullptr)},
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
            {"job", now.job ? DashboardJson(*now.job) : DashboardJson(nullptr)},
            {"jobVersion", now.jobVersion ? DashboardJson(*now.jobVersion) : DashboardJson(nullptr)},
            {"jobRetired", now.jobRetired},
            {"total", tallyJson(now.total)},
            {"retries", now.retries},
            {"slots", slots}};
}

DashboardJson slotStateMessage(DashboardJson slot, const Tally& total) {
    return {{"time", utcTimestamp(std::chrono::system_clock::now())},
            {"slot", std::move(slot)},
            {"total", tallyJson(total)}};
}

std::string contractSlotEvent(const StationEvent& event) {
    return jsonLine(eventFields(slotEventKind, slotEventFields(event), event.slot.port));
}

} // namespace orvane
