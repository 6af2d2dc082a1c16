// The summary of `records --summary`: the counts and yields of the attempts, per image and per
// station, or one row a unit, as tables or as JSON events.
#pragma once

#include "output/console.h"
#include "records/record_tally.h"

namespace orvane {

// Two tables (by image, by station), or in JSON one "recordSummary" event a group.
void printRecordsSummary(Console& console, const RecordSummary& summary);
// One row a unit (--by unit), or in JSON one "unitSummary" event a unit.
void printUnitsSummary(Console& console, const std::vector<UnitHistory>& units);

} // namespace orvane
