// The station as the dashboard's JSON gives it: /api/station, and the live messages. Every
// message is written by the command line's JSON line writer (jsonLine), so a port's stray
// byte or control character reaches the page as it reaches a script.
#pragma once

#include "output/json_line.h"
#include "station/station_state.h"

#include <string>

namespace orvane {

using DashboardJson = JsonFields;

DashboardJson tallyJson(const Tally& tally);
DashboardJson slotJson(const SlotSnapshot& slot);
DashboardJson stationJson(const StationSnapshot& now);

// A slot's change for the page's "state" message: the slot as shown, the shift's counters and
// when it was sent (so a browser can tell how far behind it is).
DashboardJson slotStateMessage(DashboardJson slot, const Tally& total);

// A camera plugged in or pulled out, as the command line's --json "slot" event.
std::string contractSlotEvent(const StationEvent& event);

} // namespace orvane
