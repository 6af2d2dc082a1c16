// Records counted as the station counts its shift: cameras one a plug by the plug's newest
// attempt, and the yields by unit.
#pragma once

#include "records/upgrade_record.h"
#include "station/station_state.h"

#include <span>

namespace orvane {

// records: newest first, as a store gives them; one running is not counted yet.
Tally tallyOfRecords(std::span<const UpgradeRecord> records);

} // namespace orvane
