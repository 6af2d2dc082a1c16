// The line's notification channels; a notification only wakes, its reader reads the table.
#pragma once

#include <string_view>

namespace orvane {

inline constexpr std::string_view stationsChannel = "orvane_stations";                // payload: station
inline constexpr std::string_view stationCommandsChannel = "orvane_station_commands"; // payload: station
inline constexpr std::string_view jobsChannel = "orvane_jobs";                        // payload: job

} // namespace orvane
