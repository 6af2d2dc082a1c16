// A camera plugged in or pulled out, as the "slot" event tells it on the command line and on
// the station's page alike.
#pragma once

#include "output/json_line.h"
#include "station/station_state.h"

#include <string_view>

namespace orvane {

inline constexpr std::string_view slotEventKind = "slot";

// The fields after the event's port: the slot and whether a camera is there now.
JsonFields slotEventFields(const StationEvent& event);

} // namespace orvane
