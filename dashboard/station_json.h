// The station as the dashboard's JSON gives it: /api/station, and the live messages. Every
// text is dumped with bad UTF-8 replaced, so a port's stray byte cannot break a message.
#pragma once

#include "station/station_state.h"

#include <nlohmann/json.hpp>
#include <string>

namespace orvane {

using DashboardJson = nlohmann::ordered_json;

DashboardJson tallyJson(const Tally& tally);
DashboardJson slotJson(const SlotSnapshot& slot);
DashboardJson stationJson(const StationSnapshot& now);

// A slot's change for the page's "state" message: the slot as shown, the shift's counters and
// when it was sent (so a browser can tell how far behind it is).
DashboardJson slotStateMessage(DashboardJson slot, const Tally& total);

// A camera plugged in or pulled out, as the command line's --json "slot" event.
std::string contractSlotEvent(const StationEvent& event);

// One line of JSON: invalid UTF-8 becomes U+FFFD, control characters are escaped.
std::string dumpJson(const DashboardJson& json);

} // namespace orvane
