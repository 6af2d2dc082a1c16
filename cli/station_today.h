// The day's cameras so far in the records the station writes to, counted as the station counts
// them (one a plug by its last attempt; the yields by unit), so that a shift that starts again
// reads on from the day's figures.
#pragma once

#include "attempts/records_book.h"
#include "station/station_state.h"

#include <optional>

namespace orvane {

// Since local midnight, this station's only when --station-name names it; nullopt where no
// records are kept or they cannot be read.
std::optional<Tally> todaysTally(const RecordsChoice& choice);

} // namespace orvane
