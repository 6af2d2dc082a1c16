// The summary of `records --summary`: the counts and yields of the attempts, per image and per
// station, as tables or as JSON events.
#pragma once

#include "output/console.h"
#include "records/record_tally.h"

namespace orvane {

// Two tables (by image, by station), or in JSON one "recordSummary" event a group.
void printRecordsSummary(Console& console, const RecordSummary& summary);

} // namespace orvane
